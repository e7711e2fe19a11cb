// Seeding the store from a manifest of records.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "store.h"

namespace filestore {

struct ManifestEntry {
  int line = 0;  // where its [record] stands
  Record record;
  enum class Source { None, Inline, File, Generated } source = Source::None;
  std::string content;  // inline bytes, or the file's path
  std::uint64_t generate_size = 0;
  std::uint64_t generate_seed = 1;
  std::optional<std::uint64_t> size_override;
  std::optional<std::uint32_t> crc_override;
};

class ManifestError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::vector<ManifestEntry> ParseManifest(const std::string& text);

// Fills `count` bytes of the generated content from its state (see the README).
class Generator {
 public:
  explicit Generator(std::uint64_t seed) : x_(seed ? seed : 1) {}
  void Fill(char* out, std::size_t count);

 private:
  std::uint64_t x_;
  unsigned char pending_[8];
  int pending_count_ = 0;
};

// Writes every entry into the store; relative content files are taken from base_dir. Returns the count.
// With roots (a manifest from the network), a content file must be a regular file whose real path, links
// and ".." resolved, lies inside one of them; otherwise ManifestError is thrown and nothing is written.
int Seed(Store& store, const std::vector<ManifestEntry>& entries, const std::filesystem::path& base_dir,
         const std::vector<std::filesystem::path>& roots = {});

}  // namespace filestore
