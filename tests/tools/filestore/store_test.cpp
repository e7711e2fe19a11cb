#include "store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "faults.h"
#include "manifest.h"
#include "wire.h"

using namespace filestore;
namespace fs = std::filesystem;

namespace {

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/filestore-unit.XXXXXX";
    path_ = mkdtemp(tmpl);
  }
  ~TempDir() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

Record Rec(const std::string& view, const std::string& key) {
  Record r;
  r.view = view;
  r.key = key;
  r.name = "n.txt";
  return r;
}

}  // namespace

TEST(Store, CommitsReplacesAndKeepsLockStateOnReupload) {
  TempDir dir;
  Store store(dir.path());
  auto f = store.BeginFile();
  ASSERT_TRUE(f->Write("123456789", 9));
  Record r = Rec("V", "K");
  r.checked_out_by = "jdoe";
  r.created = "2024-01-02 03:04:05";
  r.updated = "2024-01-02 03:04:05";
  Record stored = store.Commit(*f, r, false);
  EXPECT_EQ(stored.size, 9u);
  EXPECT_EQ(stored.crc, 0xCBF43926u);
  EXPECT_EQ(ReadAll(store.BlobPath(stored)), "123456789");
  fs::path first_blob = store.BlobPath(stored);

  auto g = store.BeginFile();
  ASSERT_TRUE(g->Write("ab", 2));
  Record again = store.Commit(*g, Rec("V", "K"), true);
  auto found = store.Find("V", "K");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->size, 2u);
  EXPECT_EQ(found->checked_out_by, "jdoe");
  EXPECT_EQ(found->created, "2024-01-02 03:04:05");
  EXPECT_NE(found->updated, "2024-01-02 03:04:05");
  EXPECT_EQ(found->file_ref, again.file_ref);
  EXPECT_NE(found->file_ref, stored.file_ref);
  EXPECT_FALSE(fs::exists(first_blob)) << "the replaced bytes are removed";
  EXPECT_EQ(ReadAll(store.BlobPath(*found)), "ab");
  EXPECT_FALSE(store.Find("V", "other"));
  EXPECT_EQ(store.All().size(), 1u);
}

TEST(Store, AnUncommittedFileLeavesNothing) {
  TempDir dir;
  Store store(dir.path());
  {
    auto f = store.BeginFile();
    f->Write("partial", 7);
  }
  EXPECT_TRUE(fs::is_empty(dir.path() / "tmp"));
  EXPECT_TRUE(fs::is_empty(dir.path() / "blobs"));
  EXPECT_TRUE(store.All().empty());
}

TEST(Store, RestartRemovesLeftoversAndKeepsRecords) {
  TempDir dir;
  std::string ref;
  {
    Store store(dir.path());
    auto f = store.BeginFile();
    f->Write("x", 1);
    ref = store.Commit(*f, Rec("V", "K"), false).file_ref;
  }
  // What a kill can leave: a half-written temporary file, bytes renamed in but never committed.
  std::ofstream(dir.path() / "tmp" / "upload-1-1") << "half";
  std::ofstream(dir.path() / "blobs" / "orphan.bin") << "orphan";
  Store store(dir.path());
  EXPECT_TRUE(fs::is_empty(dir.path() / "tmp"));
  EXPECT_FALSE(fs::exists(dir.path() / "blobs" / "orphan.bin"));
  auto found = store.Find("V", "K");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->file_ref, ref);
  EXPECT_EQ(ReadAll(store.BlobPath(*found)), "x");
  store.Reset();
  EXPECT_TRUE(store.All().empty());
  EXPECT_TRUE(fs::is_empty(dir.path() / "blobs"));
}

TEST(Manifest, ParsesRecordsAndContentForms) {
  auto entries = ParseManifest(
      "# comment\n\n[record]\nview = V\nkey = K1\nname = a b.txt\ncontent =  x\\x00\\n\\\\y \n"
      "checked_out_by = jdoe\ncreated = 2024-01-02 03:04:05\ncrc = -873187034\nsize = 99\n"
      "[record]\r\nview=V\r\nkey=K2\r\ngenerate = 100 7\r\n[record]\nview=V\nkey=K3\ncontent_file=data.bin\n");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].record.name, "a b.txt");
  EXPECT_EQ(entries[0].content, std::string("x\0\n\\y ", 6));
  EXPECT_EQ(entries[0].record.checked_out_by, "jdoe");
  EXPECT_EQ(entries[0].crc_override, 0xCBF43926u);
  EXPECT_EQ(entries[0].size_override, 99u);
  EXPECT_EQ(entries[1].record.name, "file.bin");
  EXPECT_EQ(entries[1].source, ManifestEntry::Source::Generated);
  EXPECT_EQ(entries[1].generate_size, 100u);
  EXPECT_EQ(entries[1].generate_seed, 7u);
  EXPECT_EQ(entries[2].source, ManifestEntry::Source::File);
}

TEST(Manifest, RefusesMistakesWithTheLine) {
  const char* bad[][2] = {
      {"view = V\n", "line 1"},
      {"[record]\nkey = K\n", "record at line 1: view and key are required"},
      {"[record]\nview=V\nkey=K\ncolour = red\n", "unknown field colour"},
      {"[record]\nview=V\nkey=K\ncontent=a\ngenerate=5\n", "line 5: the record's bytes are given twice"},
      {"[record]\nview=V\nkey=K\ncontent=\\q\n", "unknown escape"},
      {"[record]\nview=V\nkey=K\ngenerate=lots\n", "is not a number"},
      {"[record]\nview=V\nkey=K\ncreated=yesterday\n", "created is not"},
      {"[record]\nview=V\nkey=K\ncrc=4294967296\n", "crc out of range"},
  };
  for (auto& c : bad) {
    try {
      ParseManifest(c[0]);
      ADD_FAILURE() << "accepted: " << c[0];
    } catch (const ManifestError& e) {
      EXPECT_NE(std::string(e.what()).find(c[1]), std::string::npos) << e.what();
    }
  }
}

TEST(Manifest, SeedsBytesFromEverySource) {
  TempDir dir;
  std::ofstream(dir.path() / "data.bin", std::ios::binary) << "from file";
  Store store(dir.path() / "data");
  auto entries = ParseManifest(
      "[record]\nview=V\nkey=A\ncontent=123456789\nchecked_out_by=me\n"
      "[record]\nview=V\nkey=B\ngenerate=2000003 5\n"
      "[record]\nview=V\nkey=C\ncontent_file=data.bin\nsize=1\n"
      "[record]\nview=V\nkey=D\n");
  EXPECT_EQ(Seed(store, entries, dir.path()), 4);
  auto a = store.Find("V", "A");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->crc, 0xCBF43926u);
  EXPECT_EQ(a->checked_out_by, "me");
  auto b = store.Find("V", "B");
  ASSERT_TRUE(b);
  EXPECT_EQ(b->size, 2000003u);
  // The generated bytes are the documented sequence, whatever the buffer sizes.
  std::string expected(2000003, '\0');
  Generator gen(5);
  gen.Fill(expected.data(), 3);
  gen.Fill(expected.data() + 3, expected.size() - 3);
  EXPECT_EQ(ReadAll(store.BlobPath(*b)), expected);
  EXPECT_EQ(b->crc, Crc32(expected));
  std::uint64_t x = 5;
  x ^= x << 13;
  x ^= x >> 7;
  x ^= x << 17;
  EXPECT_EQ(static_cast<unsigned char>(expected[0]), x & 0xFF);
  auto c = store.Find("V", "C");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->size, 1u) << "size override recorded";
  EXPECT_EQ(ReadAll(store.BlobPath(*c)), "from file");
  EXPECT_EQ(store.Find("V", "D")->size, 0u);
  EXPECT_THROW(Seed(store, ParseManifest("[record]\nview=V\nkey=E\ncontent_file=missing\n"), dir.path()),
               ManifestError);
}

TEST(Manifest, ANetworkManifestReadsOnlyInsideTheStoreFolders) {
  TempDir dir;
  fs::path data = dir.path() / "data", pages = dir.path() / "pages";
  fs::create_directories(pages / "sub");
  fs::create_directories(dir.path() / "pages-twin");
  std::ofstream(pages / "in.bin", std::ios::binary) << "inside";
  std::ofstream(dir.path() / "outside.bin", std::ios::binary) << "outside";
  std::ofstream(dir.path() / "pages-twin" / "x.bin", std::ios::binary) << "twin";
  fs::create_symlink(dir.path() / "outside.bin", pages / "link-out");
  fs::create_symlink(dir.path(), pages / "dir-out");
  ASSERT_EQ(mkfifo((pages / "fifo").c_str(), 0600), 0);
  Store store(data);
  std::ofstream(data / "own.bin", std::ios::binary) << "data folder";
  fs::create_symlink(data / "own.bin", pages / "link-in");
  const std::vector<fs::path> roots = {data, pages};
  auto seed = [&](const std::string& content_file) {
    return Seed(store, ParseManifest("[record]\nview=V\nkey=K\ncontent_file=" + content_file + "\n"), pages, roots);
  };
  auto refused = [&](const std::string& content_file, const std::string& why) {
    try {
      seed(content_file);
      ADD_FAILURE() << content_file << " was read";
    } catch (const ManifestError& e) {
      EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << content_file << ": " << e.what();
    }
  };

  const std::vector<std::pair<std::string, std::string>> accepted = {
      {"in.bin", "inside"}, {"sub/../in.bin", "inside"}, {(pages / "in.bin").string(), "inside"},
      {"../pages/in.bin", "inside"}, {"link-in", "data folder"}, {(data / "own.bin").string(), "data folder"}};
  for (auto& [file, bytes] : accepted) {
    EXPECT_EQ(seed(file), 1) << file;
    auto r = store.Find("V", "K");
    ASSERT_TRUE(r);
    EXPECT_EQ(ReadAll(store.BlobPath(*r)), bytes) << file;
  }
  const std::string outside = "is outside the store's folders (the data folder and the pages folder)";
  refused("/etc/passwd", outside);
  refused("../outside.bin", outside);
  refused("sub/../../outside.bin", outside);
  refused((dir.path() / "outside.bin").string(), outside);
  refused("link-out", outside);
  refused("dir-out/outside.bin", outside);
  refused("../pages-twin/x.bin", outside);  // shares the folder's name as a prefix, not as a folder
  refused("missing.bin", "cannot read");
  refused("fifo", "is not a regular file");
  refused("sub", "is not a regular file");

  // One refused file refuses the whole manifest.
  EXPECT_THROW(Seed(store, ParseManifest("[record]\nview=V\nkey=FIRST\ncontent=x\n"
                                         "[record]\nview=V\nkey=SECOND\ncontent_file=/etc/passwd\n"),
                    pages, roots),
               ManifestError);
  EXPECT_FALSE(store.Find("V", "FIRST"));
  // The operator's own manifest (no roots) may name any file.
  EXPECT_EQ(Seed(store, ParseManifest("[record]\nview=V\nkey=OWN\ncontent_file=../outside.bin\n"), pages), 1);
  EXPECT_EQ(ReadAll(store.BlobPath(*store.Find("V", "OWN"))), "outside");
}

TEST(Faults, CountsKindsAndFileDataRule) {
  FaultSet set;
  Fault text;
  text.name = "text-plain";
  text.remaining = 2;
  Fault drop;
  drop.name = "drop-mid-body";
  Fault slow;
  slow.name = "slow-body";
  slow.target = "upload";
  set.Set(text);
  set.Set(drop);
  set.Set(slow);

  auto t = set.Take(RequestKind::Other, false);
  EXPECT_TRUE(t.empty()) << "inspection and other requests use no faults";
  t = set.Take(RequestKind::GetFile, false);
  ASSERT_EQ(t.size(), 1u) << "the drop waits for a GetFile that finds its file";
  EXPECT_EQ(t[0].name, "text-plain");
  t = set.Take(RequestKind::Upload, false);
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1].name, "slow-body");
  t = set.Take(RequestKind::GetFile, true);
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0].name, "drop-mid-body");
  EXPECT_TRUE(set.List().empty());

  Fault forever;
  forever.name = "delay";
  forever.remaining = -1;
  set.Set(forever);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(set.Take(RequestKind::GetFile, false).size(), 1u);
  set.Clear();
  EXPECT_TRUE(set.Take(RequestKind::GetFile, true).empty());
}

TEST(Faults, Validation) {
  Fault f;
  f.name = "nonsense";
  EXPECT_NE(ValidateFault(f), "");
  f.name = "slow-body";
  f.params["rate"] = "0";
  EXPECT_NE(ValidateFault(f), "");
  f.params["rate"] = "-5";
  EXPECT_NE(ValidateFault(f), "");
  f.params["rate"] = "100";
  EXPECT_EQ(ValidateFault(f), "");
  f.remaining = 0;
  EXPECT_NE(ValidateFault(f), "");
  f.remaining = 1;
  f.target = "everything";
  EXPECT_NE(ValidateFault(f), "");
  Fault a;
  a.name = "auth-challenge";
  a.params["scheme"] = "digest";
  EXPECT_NE(ValidateFault(a), "");
}
