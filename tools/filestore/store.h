// Records in SQLite, bytes in files; every change is atomic.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace filestore {

struct Record {
  std::string view;
  std::string key;
  std::string name;
  std::uint64_t size = 0;
  std::uint32_t crc = 0;
  std::string created;
  std::string updated;
  std::string checked_out_by;
  std::string user_name;
  std::string file_ref;
  std::string blob;  // file name inside blobs/
};

class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Bytes being written to tmp/; removed unless committed.
class PendingFile {
 public:
  PendingFile(const std::filesystem::path& path);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  bool Write(const char* data, std::size_t size);
  std::uint64_t size() const { return size_; }
  std::uint32_t crc() const { return crc_; }
  const std::filesystem::path& path() const { return path_; }
  // Flushes to disk and closes; false on an I/O error.
  bool Finish();
  void Release() { released_ = true; }

 private:
  std::filesystem::path path_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
  std::uint32_t crc_ = 0;
  bool ok_ = true;
  bool released_ = false;
};

class Store {
 public:
  explicit Store(const std::filesystem::path& data_dir);
  ~Store();

  std::unique_ptr<PendingFile> BeginFile();

  // Moves finished bytes into place and writes the record in one transaction. The record's size and CRC
  // are taken from the file unless given. An existing record keeps its creation time and lock state when
  // keep_existing is set. Returns the record as stored.
  Record Commit(PendingFile& file, Record record, bool keep_existing, std::optional<std::uint64_t> size = {},
                std::optional<std::uint32_t> crc = {});

  std::optional<Record> Find(const std::string& view, const std::string& key);
  std::vector<Record> All();
  void Reset();

  std::filesystem::path BlobPath(const Record& r) const { return dir_ / "blobs" / r.blob; }
  const std::filesystem::path& dir() const { return dir_; }

 private:
  void Exec(const char* sql);
  void CleanUp();

  std::filesystem::path dir_;
  sqlite3* db_ = nullptr;
  std::mutex mutex_;
};

}  // namespace filestore
