#pragma once
// CRC-32 (ISO-HDLC / IEEE 802.3, reflected polynomial 0xEDB88320), the value the upload header carries.
#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace qm {

// The byte-at-a-time table algorithm: the reference the fast path must agree with.
std::uint32_t Crc32Table(const void* data, std::size_t size, std::uint32_t crc = 0);

// zlib's crc32; continue a running value by passing it back in.
std::uint32_t Crc32Bytes(const void* data, std::size_t size, std::uint32_t crc = 0);

// The CRC of a file's contents, streamed in large pieces. A file that cannot be opened or read gives 0.
// The path is opened as it is given, so names outside the ANSI code page are read too.
std::uint32_t Crc32OfFile(const std::filesystem::path& path);

}  // namespace qm
