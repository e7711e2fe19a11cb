#include "common/crc32.h"

#include <array>
#include <fstream>
#include <limits>
#include <vector>

#include <zlib.h>

namespace qm {

namespace {

constexpr std::array<std::uint32_t, 256> MakeTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr auto kTable = MakeTable();

// Large pieces keep the per-read overhead small.
constexpr std::size_t kFilePiece = 1 << 20;

}  // namespace

std::uint32_t Crc32Table(const void* data, std::size_t size, std::uint32_t crc) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::uint32_t reg = crc ^ 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) reg = (reg >> 8) ^ kTable[(reg ^ bytes[i]) & 0xFF];
    return reg ^ 0xFFFFFFFFu;
}

std::uint32_t Crc32Bytes(const void* data, std::size_t size, std::uint32_t crc) {
    const auto* bytes = static_cast<const Bytef*>(data);
    uLong value = crc;
    while (size > 0) {
        const uInt piece = size > std::numeric_limits<uInt>::max() ? std::numeric_limits<uInt>::max() : static_cast<uInt>(size);
        value = crc32(value, bytes, piece);
        bytes += piece;
        size -= piece;
    }
    return static_cast<std::uint32_t>(value);
}

std::uint32_t Crc32OfFile(const std::filesystem::path& path) {
    std::ifstream in;
    in.rdbuf()->pubsetbuf(nullptr, 0);
    in.open(path, std::ios::binary);
    if (!in) return 0;
    std::vector<char> piece(kFilePiece);
    std::uint32_t crc = 0;
    try {
        for (;;) {
            const std::streamsize got = in.rdbuf()->sgetn(piece.data(), static_cast<std::streamsize>(piece.size()));
            if (got <= 0) break;
            crc = Crc32Bytes(piece.data(), static_cast<std::size_t>(got), crc);
        }
    } catch (const std::exception&) {
        // The stream reports a failed read by throwing; such a file counts as unreadable.
        return 0;
    }
    return crc;
}

}  // namespace qm
