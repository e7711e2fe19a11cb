#include "store.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <set>

#include "wire.h"

namespace filestore {

namespace fs = std::filesystem;

namespace {

void SyncDirectory(const fs::path& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

struct Statement {
  sqlite3_stmt* s = nullptr;
  Statement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) throw StoreError(sqlite3_errmsg(db));
  }
  ~Statement() { sqlite3_finalize(s); }
  void Bind(int i, const std::string& v) { sqlite3_bind_text(s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT); }
  void Bind(int i, std::int64_t v) { sqlite3_bind_int64(s, i, v); }
  std::string Text(int i) {
    auto p = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
    return p ? std::string(p, sqlite3_column_bytes(s, i)) : std::string();
  }
};

const char* kColumns = "view, key, name, size, crc, created, updated, checked_out_by, user_name, file_ref, blob";

Record ReadRecord(Statement& st) {
  Record r;
  r.view = st.Text(0);
  r.key = st.Text(1);
  r.name = st.Text(2);
  r.size = static_cast<std::uint64_t>(sqlite3_column_int64(st.s, 3));
  r.crc = static_cast<std::uint32_t>(sqlite3_column_int64(st.s, 4));
  r.created = st.Text(5);
  r.updated = st.Text(6);
  r.checked_out_by = st.Text(7);
  r.user_name = st.Text(8);
  r.file_ref = st.Text(9);
  r.blob = st.Text(10);
  return r;
}

std::atomic<std::uint64_t> g_tmp_counter{0};

}  // namespace

PendingFile::PendingFile(const fs::path& path) : path_(path) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd_ < 0) throw StoreError("cannot create " + path.string());
}

PendingFile::~PendingFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!released_) ::unlink(path_.c_str());
}

bool PendingFile::Write(const char* data, std::size_t size) {
  crc_ = Crc32(crc_, data, size);
  size_ += size;
  while (ok_ && size > 0) {
    ssize_t n = ::write(fd_, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok_ = false;
      break;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return ok_;
}

bool PendingFile::Finish() {
  if (fd_ < 0) return ok_;
  if (::fsync(fd_) != 0) ok_ = false;
  if (::close(fd_) != 0) ok_ = false;
  fd_ = -1;
  return ok_;
}

Store::Store(const fs::path& data_dir) : dir_(data_dir) {
  fs::create_directories(dir_ / "blobs");
  fs::create_directories(dir_ / "tmp");
  if (sqlite3_open_v2((dir_ / "filestore.db").c_str(), &db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK)
    throw StoreError("cannot open the database in " + dir_.string());
  sqlite3_busy_timeout(db_, 5000);
  Exec("PRAGMA journal_mode=WAL");
  Exec("PRAGMA synchronous=FULL");
  Exec("CREATE TABLE IF NOT EXISTS records (view TEXT NOT NULL, key TEXT NOT NULL, name TEXT NOT NULL, "
       "size INTEGER NOT NULL, crc INTEGER NOT NULL, created TEXT NOT NULL, updated TEXT NOT NULL, "
       "checked_out_by TEXT NOT NULL, user_name TEXT NOT NULL, file_ref TEXT NOT NULL, blob TEXT NOT NULL, "
       "PRIMARY KEY (view, key))");
  CleanUp();
}

Store::~Store() { sqlite3_close(db_); }

void Store::Exec(const char* sql) {
  char* err = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
    std::string message = err ? err : "sqlite error";
    sqlite3_free(err);
    throw StoreError(message + " (" + sql + ")");
  }
}

// What a killed server may have left: unfinished temporary files, bytes that no record names.
void Store::CleanUp() {
  std::lock_guard lock(mutex_);
  for (auto& entry : fs::directory_iterator(dir_ / "tmp")) fs::remove_all(entry.path());
  std::set<std::string> used;
  Statement st(db_, "SELECT blob FROM records");
  while (sqlite3_step(st.s) == SQLITE_ROW) used.insert(st.Text(0));
  for (auto& entry : fs::directory_iterator(dir_ / "blobs"))
    if (!used.count(entry.path().filename().string())) fs::remove(entry.path());
}

std::unique_ptr<PendingFile> Store::BeginFile() {
  auto name = "upload-" + std::to_string(::getpid()) + "-" + std::to_string(++g_tmp_counter);
  return std::make_unique<PendingFile>(dir_ / "tmp" / name);
}

Record Store::Commit(PendingFile& file, Record record, bool keep_existing, std::optional<std::uint64_t> size,
                     std::optional<std::uint32_t> crc) {
  if (!file.Finish()) throw StoreError("writing the file's bytes failed");
  record.size = size.value_or(file.size());
  record.crc = crc.value_or(file.crc());
  if (record.file_ref.empty()) record.file_ref = NewFileRef();
  record.blob = NewFileRef() + ".bin";
  fs::path target = dir_ / "blobs" / record.blob;
  if (::rename(file.path().c_str(), target.c_str()) != 0) throw StoreError("cannot move the bytes into place");
  file.Release();
  SyncDirectory(dir_ / "blobs");
  SyncDirectory(dir_ / "tmp");

  std::string old_blob;
  std::lock_guard lock(mutex_);
  try {
    Exec("BEGIN IMMEDIATE");
    {
      Statement st(db_, (std::string("SELECT ") + kColumns + " FROM records WHERE view=?1 AND key=?2").c_str());
      st.Bind(1, record.view);
      st.Bind(2, record.key);
      if (sqlite3_step(st.s) == SQLITE_ROW) {
        Record old = ReadRecord(st);
        old_blob = old.blob;
        if (keep_existing) {
          record.created = old.created;
          record.checked_out_by = old.checked_out_by;
          record.user_name = old.user_name;
        }
      }
    }
    std::string now = UtcNowText();
    if (record.created.empty()) record.created = now;
    if (record.updated.empty()) record.updated = now;
    Statement st(db_, (std::string("INSERT OR REPLACE INTO records (") + kColumns +
                       ") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)")
                          .c_str());
    st.Bind(1, record.view);
    st.Bind(2, record.key);
    st.Bind(3, record.name);
    st.Bind(4, static_cast<std::int64_t>(record.size));
    st.Bind(5, static_cast<std::int64_t>(record.crc));
    st.Bind(6, record.created);
    st.Bind(7, record.updated);
    st.Bind(8, record.checked_out_by);
    st.Bind(9, record.user_name);
    st.Bind(10, record.file_ref);
    st.Bind(11, record.blob);
    if (sqlite3_step(st.s) != SQLITE_DONE) throw StoreError(sqlite3_errmsg(db_));
    Exec("COMMIT");
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    ::unlink(target.c_str());
    throw;
  }
  if (!old_blob.empty()) ::unlink((dir_ / "blobs" / old_blob).c_str());
  return record;
}

std::optional<Record> Store::Find(const std::string& view, const std::string& key) {
  std::lock_guard lock(mutex_);
  Statement st(db_, (std::string("SELECT ") + kColumns + " FROM records WHERE view=?1 AND key=?2").c_str());
  st.Bind(1, view);
  st.Bind(2, key);
  if (sqlite3_step(st.s) == SQLITE_ROW) return ReadRecord(st);
  return std::nullopt;
}

std::vector<Record> Store::All() {
  std::lock_guard lock(mutex_);
  Statement st(db_, (std::string("SELECT ") + kColumns + " FROM records ORDER BY view, key").c_str());
  std::vector<Record> out;
  while (sqlite3_step(st.s) == SQLITE_ROW) out.push_back(ReadRecord(st));
  return out;
}

void Store::Reset() {
  std::lock_guard lock(mutex_);
  Exec("DELETE FROM records");
  for (auto& entry : fs::directory_iterator(dir_ / "blobs")) fs::remove(entry.path());
}

}  // namespace filestore
