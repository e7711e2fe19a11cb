// CRC-32 throughput: the file path the upload description uses, zlib over the same bytes in memory, a plain read
// of the same file in the same piece size (what the disk and the page cache give), and the byte-at-a-time table
// algorithm as the floor.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "common/crc32.h"

namespace {

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

template <class F>
double Best(int runs, F&& f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        f();
        best = std::min(best, Seconds(std::chrono::steady_clock::now() - start));
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: crc32_bench FILE\n");
        return 2;
    }
    const std::string path = argv[1];
    std::vector<char> bytes;
    {
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        if (!in) {
            std::fprintf(stderr, "cannot open %s\n", path.c_str());
            return 1;
        }
        bytes.resize(static_cast<std::size_t>(in.tellg()));
        in.seekg(0);
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    const double mb = static_cast<double>(bytes.size()) / 1e6;

    std::uint32_t fileCrc = 0, memoryCrc = 0, tableCrc = 0;
    std::size_t plainBytes = 0;
    const double plainTime = Best(3, [&] {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) return;
        std::setvbuf(f, nullptr, _IONBF, 0);
        std::vector<char> piece(1 << 20);
        plainBytes = 0;
        for (std::size_t got; (got = std::fread(piece.data(), 1, piece.size(), f)) > 0;) plainBytes += got;
        std::fclose(f);
    });
    if (plainBytes != bytes.size()) {
        std::fprintf(stderr, "the plain read got %zu of %zu bytes\n", plainBytes, bytes.size());
        return 1;
    }
    // The file pass reads through the page cache, as a file just chosen for upload usually is.
    const double fileTime = Best(3, [&] { fileCrc = qm::Crc32OfFile(path); });
    const double memoryTime = Best(3, [&] { memoryCrc = qm::Crc32Bytes(bytes.data(), bytes.size()); });
    const double tableTime = Best(1, [&] { tableCrc = qm::Crc32Table(bytes.data(), bytes.size()); });
    if (fileCrc != memoryCrc || tableCrc != memoryCrc) {
        std::fprintf(stderr, "CRC disagreement: file %08x, zlib %08x, table %08x\n", fileCrc, memoryCrc, tableCrc);
        return 1;
    }
    const double fileRate = mb / fileTime, memoryRate = mb / memoryTime, tableRate = mb / tableTime;
    const double plainRate = mb / plainTime;
    std::printf("zlib-in-memory: %.0f MB/s; table algorithm: %.0f MB/s; file of %.0f MB, CRC %08x\n", memoryRate,
                tableRate, mb, fileCrc);
    std::printf("plain read of the file in 1 MiB pieces: %.0f MB/s; the CRC pass is %.2f of it\n", plainRate,
                fileRate / plainRate);
    std::printf("bench crc32: %.0f MB/s; ratio %.2f against zlib-in-memory\n", fileRate, fileRate / memoryRate);
    return 0;
}
