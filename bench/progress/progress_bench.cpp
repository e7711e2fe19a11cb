// A worker stepping through a large transfer in 4095-byte reads, writing each piece to a file, with the real
// progress dialog (a step per percent, UpdateProgressText after every read) and without any dialog. The file is
// rewritten from its start every 64 MiB: the pieces stay in the page cache, so the disk's write-back does not
// swamp what is measured.
// PIECE (default 4095, the reads of old) may be the 1 MiB a download now reads at a time on a fast link.
//   progress_bench.exe FILE [MIB] [ROUNDS] [PIECE]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "common/win32/owners.h"
#include "ui/win32/progress_dialog.h"

namespace {

DWORD kPiece = 4095;
constexpr double kRewindEvery = 64.0 * 1048576.0;

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

// The transfer loop; dialog is null for the run without one. Returns the seconds the loop took.
double Transfer(const wchar_t* path, double total, qm::ProgressDialog* dialog) {
    const qm::UniqueFileHandle file(
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        std::fprintf(stderr, "cannot create %ls\n", path);
        std::exit(2);
    }
    std::vector<char> piece(kPiece, 'q');
    const double start = Now();
    const ULONGLONG startTicks = GetTickCount64();  // the worker's clock for elapsed time: cheap enough per read
    double done = 0;
    int lastPercent = 0;
    double sinceRewind = 0;
    while (done < total) {
        const DWORD n = static_cast<DWORD>(std::min<double>(kPiece, total - done));
        if (sinceRewind >= kRewindEvery) {
            SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN);
            sinceRewind = 0;
        }
        DWORD written = 0;
        WriteFile(file.get(), piece.data(), n, &written, nullptr);
        done += written;
        sinceRewind += written;
        if (dialog) {
            if (dialog->Job().Cancelled) break;
            const int percent = static_cast<int>(done * 100 / total);
            if (percent > lastPercent) {
                dialog->StepIt();
                lastPercent = percent;
            }
            dialog->UpdateProgressText(L"big.bin", done, done, total, total,
                                       static_cast<double>(GetTickCount64() - startTicks) / 86400000.0);
        }
    }
    const double seconds = Now() - start;
    return seconds;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const double mib = argc > 2 ? _wtof(argv[2]) : 1024;
    const int rounds = argc > 3 ? _wtoi(argv[3]) : 3;
    if (argc > 4) kPiece = static_cast<DWORD>(_wtoi(argv[4]));
    const char* name = kPiece == 4095 ? "progress" : "progress-piece";
    const double total = mib * 1048576.0;
    double best[2] = {1e30, 1e30};
    for (int round = 0; round < rounds; ++round) {
        // The loop without a dialog runs on a thread of its own too, as the worker does.
        double plain = 0;
        std::thread([&] { plain = Transfer(argv[1], total, nullptr); }).join();
        best[1] = std::min(best[1], plain);
        double seconds = 0;
        auto dialog = qm::Win32ProgressDialog::Create();
        dialog->Job().Mode = qm::TransferMode::Download;
        dialog->Job().ProgressRange = 100;
        dialog->StartWorker([&](qm::ProgressDialog& d) {
            while (!d.WindowExists()) Sleep(1);
            // A job opens its session and waits a second before moving data; the dialog has painted by then.
            Sleep(1000);
            seconds = Transfer(argv[1], total, &d);
            d.End(qm::kEndDownloadClosed);
        });
        if (dialog->Run(nullptr) != qm::kEndDownloadClosed) return 3;
        dialog->WaitForWorker(INFINITE);
        best[0] = std::min(best[0], seconds);
        std::printf("round %d: with dialog %.3f s, without %.3f s\n", round + 1, seconds, best[1]);
    }
    DeleteFileW(argv[1]);
    std::printf("bench %s: %.3f s; ratio %.3f against no-dialog (pieces of %lu bytes)\n", name, best[0],
                best[0] / best[1], static_cast<unsigned long>(kPiece));
    return 0;
}
