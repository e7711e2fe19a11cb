#include "download/download_worker.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "common/errors.h"
#include "download/read_pace.h"
#include "localfiles/safe_names.h"
#include "localfiles/file_helpers.h"
#include "protocol/file_store_client.h"
#include "protocol/protocol_document.h"
#include "protocol/reply_rules.h"

namespace qm {
namespace {

constexpr std::uint32_t kSecureFlag = 0x00800000u;

std::wstring SourceAddress(const TransferJob& job) {
    return std::wstring((job.RequestFlags & kSecureFlag) ? L"https://" : L"http://") + job.ServerName + L":" +
           std::to_wstring(job.ServerPort) + kFileStoreObject;
}

std::wstring JoinFolder(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) return folder + name;
    return folder + L"\\" + name;
}

// The text an unexpected exception shows; the worker must never let one escape its thread.
std::wstring TextOf(const std::exception& e) {
    std::wstring text;
    for (const char* p = e.what(); *p; ++p) text.push_back(static_cast<unsigned char>(*p));
    return CutErrorText(text.empty() ? std::wstring(kUnknownErrorText) : text);
}

void ShowTextReply(HttpRequest& request, ProtocolDocument& document, WorkerServices& services, const TransferJob& job) {
    const std::wstring text = ReadReplyText(request, services.codePage, false, [&job] { return job.Cancelled.load(); });
    if (job.Cancelled) return;  // the user ended it: nothing more to tell
    const ReplyDecision decision = DecideReply(kGetFileReplyRules, document, text);
    if (decision.box != ReplyBox::None) ShowMessage(services.dialogs, decision.text);
}

// Ends the dialog as a finished download does: 1 or the Open buttons after success, -1 otherwise.
void EndDownloadDialog(ProgressDialog& dialog, bool succeeded) {
    TransferJob& job = dialog.Job();
    if (succeeded) job.Succeeded = true;
    if (!job.Cancelled && succeeded) {
        if (dialog.CloseWhenDoneChecked())
            dialog.End(kEndDownloadClosed);
        else
            dialog.EnableOpenButtons();
        return;
    }
    dialog.End(kEndDownloadFailed);
}

// Called inside a catch block: tells the user what ended the job, unless the user ended it.
void ReportFailure(WorkerServices& services, const TransferJob& job) {
    if (job.Cancelled) return;
    try {
        throw;
    } catch (const Error& e) {
        ShowMessage(services.dialogs, e.text());
    } catch (const std::exception& e) {
        ShowMessage(services.dialogs, TextOf(e));
    }
}

// Receives one reply's bytes into a temporary file; committed only when the count matches. Steps are sent
// through `step` with the byte counts after every write.
enum class Received { Complete, Mismatch, Cancelled };

template <class AfterWrite>
Received ReceiveBody(HttpRequest& request, IncomingFile& incoming, const TransferJob& job, std::uint64_t expected,
                     std::uint64_t& received, const std::function<double()>& seconds, ReadPace& pace,
                     AfterWrite&& afterWrite) {
    // One byte past the expected size is enough to see a longer reply; a small file needs no large buffer.
    const std::uint64_t remaining = expected - std::min(expected, received);
    const std::size_t size = remaining >= kLargestBlindRead ? kLargestBlindRead : static_cast<std::size_t>(remaining) + 1;
    const std::unique_ptr<char[]> buffer(new char[size]);
    std::size_t arrived = 0;  // arrived and not yet read, as last told; asked again only when it is used up
    for (;;) {
        const double start = seconds ? seconds() : 0.0;
        // Without a clock the pace is unknown: every read asks what has arrived.
        const std::size_t blind = seconds ? pace.BlindSize() : 0;
        std::size_t ask = size;
        if (blind > 0) {
            const std::uint64_t left = expected - std::min(expected, received) + 1;
            ask = static_cast<std::size_t>(std::min<std::uint64_t>(std::min(blind, size), left));
            arrived = 0;
        } else {
            // Never more than has arrived: a read of more waits until it is all there, and a body that
            // trickles would hold the worker (and its temporary file) far past a Cancel.
            if (arrived == 0) arrived = request.QueryDataAvailable();
            if (arrived > 0) ask = std::min(arrived, size);
        }
        const std::size_t n = request.Read(buffer.get(), ask);
        if (seconds) pace.Read(n, start, seconds(), blind > 0);
        if (n == 0) break;
        arrived -= std::min(arrived, n);
        if (job.Cancelled) return Received::Cancelled;
        // A reply longer than announced ends here: nothing past the expected size reaches the disk.
        if (n > expected - received) return Received::Mismatch;
        incoming.Write(buffer.get(), n);
        received += n;
        if (job.Cancelled) return Received::Cancelled;
        if (!afterWrite(n)) return Received::Cancelled;
    }
    return received == expected ? Received::Complete : Received::Mismatch;
}

// Puts the received file in place unless a Cancel was taken first; a Cancel clicked meanwhile is refused.
bool CommitUnlessCancelled(ProgressDialog& dialog, IncomingFile& incoming) {
    if (!dialog.BeginCommit()) return false;
    struct Done {
        ProgressDialog& dialog;
        ~Done() { dialog.EndCommit(); }
    } done{dialog};
    incoming.Commit();
    return true;
}

}  // namespace

std::wstring ShortenPathText(const std::wstring& path, const std::wstring& lastName) {
    const std::vector<std::wstring> pieces = SplitText(path, L'\\');
    if (pieces.size() <= 3) return path;
    return pieces[0] + L"\\" + pieces[1] + L"\\..\\..\\" + pieces[pieces.size() - 2] + L"\\" + lastName;
}

std::wstring ShortenPathText(const std::wstring& path) {
    const std::vector<std::wstring> pieces = SplitText(path, L'\\');
    return ShortenPathText(path, pieces.back());
}

std::uint32_t StepsDue(std::uint64_t received, std::uint64_t total, std::uint32_t range) {
    if (total == 0 || range == 0) return 0;
    if (received >= total) return range;
    // received < total, so the quotient is below range; long double keeps 64-bit counts exact enough.
    const long double due = static_cast<long double>(received) * range / static_cast<long double>(total);
    const auto steps = static_cast<std::uint32_t>(due);
    return steps < range ? steps : range;
}

void RunSingleDownload(ProgressDialog& dialog, WorkerServices& services, std::uint64_t expected) {
    TransferJob& job = dialog.Job();
    const FileDescriptor& d = job.Descriptor;
    bool succeeded = false;
    std::uint32_t stepsSent = 0;
    const std::uint32_t range = job.ProgressRange;
    try {
        auto session = services.http.OpenSession();
        job.StatusText = d.FileName + L" from " + job.ServerName;
        job.PathText = ShortenPathText(services.files.ShortPath(d.LocalPath), d.FileName);
        ProtocolDocument document(services.makeDom ? services.makeDom() : nullptr, services.codePage);
        const std::wstring requestText = document.BuildGetFileRequest(d.ViewName, d.PrimKey);
        auto connection = session->Connect(job.ServerName, job.ServerPort);
        auto request = connection->OpenFileStoreRequest(job.RequestFlags);
        succeeded = RetryRequest([&] {
            SendGetFile(*request, requestText);
            if (ClassifyReply(*request) == ReplyKind::Text) {
                ShowTextReply(*request, document, services, job);
                return false;
            }
            auto incoming = services.files.Begin(d.LocalPath, SourceAddress(job));
            const double start = services.nowDays();
            std::uint64_t received = 0;
            ReadPace pace;
            const Received outcome = ReceiveBody(*request, *incoming, job, expected, received, services.seconds, pace,
                                                 [&](std::size_t) {
                for (const std::uint32_t due = StepsDue(received, expected, range); stepsSent < due; ++stepsSent) {
                    if (job.Cancelled) return false;
                    dialog.StepIt();
                }
                if (job.Cancelled) return false;
                dialog.UpdateProgressText(d.FileName, double(received), double(received), double(expected),
                                          double(expected), services.nowDays() - start);
                return true;
            });
            if (outcome == Received::Cancelled || job.Cancelled) return false;
            dialog.SetStatus(kVerifyingText);
            if (outcome == Received::Mismatch) {
                ShowMessage(services.dialogs, kReceiveErrorText);
                return false;
            }
            return CommitUnlessCancelled(dialog, *incoming);
        });
    } catch (const std::exception&) {
        ReportFailure(services, job);
        succeeded = false;
    }
    EndDownloadDialog(dialog, succeeded);
}

void RunMultiDownload(ProgressDialog& dialog, WorkerServices& services, const std::vector<ListedFile>& files) {
    TransferJob& job = dialog.Job();
    bool succeeded = false;
    std::uint32_t stepsSent = 0;
    constexpr std::uint32_t kSteps = 100;
    std::uint64_t total = 0;
    for (const ListedFile& f : files) total += f.size;
    // Asked when a question comes: the worker may start before the dialog's window exists.
    const auto owner = [&dialog] { return reinterpret_cast<WindowRef>(dialog.OwnerWindow()); };
    try {
        auto session = services.http.OpenSession();
        const std::wstring folder = job.FileList && !job.FileList->empty() ? job.FileList->front() : std::wstring();
        auto connection = session->Connect(job.ServerName, job.ServerPort);
        job.PathText = ShortenPathText(services.files.ShortPath(folder));
        const double start = services.nowDays();
        std::uint64_t overall = 0;
        auto stepUpTo = [&](std::uint32_t due) {
            for (; stepsSent < due && stepsSent < kSteps; ++stepsSent) {
                if (job.Cancelled) return false;
                dialog.StepIt();
            }
            return !job.Cancelled;
        };
        bool stop = false;
        // The files come one after another over one connection: the pace of one holds for the next.
        ReadPace pace;
        for (const ListedFile& file : files) {
            if (job.Cancelled || stop) break;
            ProtocolDocument document(services.makeDom ? services.makeDom() : nullptr, services.codePage);
            const std::wstring name = SafeComponent(file.fileName);
            const std::wstring target = JoinFolder(folder, name);
            if (services.files.Exists(target) &&
                services.dialogs.Ask(owner(), target + kOverwriteQuestionTail, false) != Answer::Yes) {
                overall += file.size;
                stepUpTo(StepsDue(overall, total, kSteps));
                continue;
            }
            job.StatusText = name + L" from " + job.ServerName;
            dialog.SetStatus(name + L" from " + job.ServerName);
            const std::wstring requestText = document.BuildGetFileRequest(file.viewName, file.primKey);
            if (job.Cancelled) break;
            auto request = connection->OpenFileStoreRequest(job.RequestFlags);
            if (job.Cancelled) break;
            std::uint64_t fileReceived = 0;
            try {
                RetryRequest([&] {
                    overall -= fileReceived;  // a repeated request starts the file again
                    fileReceived = 0;
                    SendGetFile(*request, requestText);
                    if (ClassifyReply(*request) == ReplyKind::Text) {
                        ShowTextReply(*request, document, services, job);
                        return;
                    }
                    auto incoming = services.files.Begin(target, SourceAddress(job));
                    const Received outcome =
                        ReceiveBody(*request, *incoming, job, file.size, fileReceived, services.seconds, pace,
                                    [&](std::size_t n) {
                            overall += n;
                            if (!stepUpTo(StepsDue(overall, total, kSteps))) return false;
                            dialog.UpdateProgressText(name, double(fileReceived), double(overall), double(total),
                                                      double(file.size), services.nowDays() - start);
                            return true;
                        });
                    if (outcome == Received::Cancelled || job.Cancelled) return;
                    dialog.SetStatus(kVerifyingText);
                    if (outcome == Received::Mismatch) {
                        ShowMessage(services.dialogs, kReceiveErrorText);
                        return;
                    }
                    CommitUnlessCancelled(dialog, *incoming);
                });
            } catch (const InternetError& e) {
                if (!job.Cancelled) ShowMessage(services.dialogs, e.text());
            } catch (const Error& e) {
                if (!job.Cancelled &&
                    services.dialogs.Ask(owner(), e.text() + kContinueQuestionTail, false) == Answer::No)
                    stop = true;
            }
        }
        succeeded = true;
        for (; stepsSent < kSteps && !job.Cancelled; ++stepsSent) dialog.StepIt();
        if (!job.Cancelled) dialog.SetStatus(kDownloadCompletedText);
    } catch (const std::exception&) {
        ReportFailure(services, job);
        succeeded = false;
    }
    EndDownloadDialog(dialog, succeeded);
}

}  // namespace qm
