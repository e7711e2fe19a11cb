#include "manifest.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "wire.h"

namespace filestore {

namespace {

std::string Trim(const std::string& s) {
  auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  auto e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::string Unescape(const std::string& s, int line) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\') {
      out += s[i];
      continue;
    }
    if (++i >= s.size()) throw ManifestError("line " + std::to_string(line) + ": '\\' at the end of content");
    switch (s[i]) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case '\\': out += '\\'; break;
      case 'x': {
        if (i + 2 >= s.size() || !std::isxdigit(static_cast<unsigned char>(s[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(s[i + 2])))
          throw ManifestError("line " + std::to_string(line) + ": bad \\x escape");
        out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
        i += 2;
        break;
      }
      default: throw ManifestError("line " + std::to_string(line) + ": unknown escape \\" + s[i]);
    }
  }
  return out;
}

std::uint64_t ParseUnsigned(const std::string& s, int line, const char* what) {
  if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos || s.size() > 19)
    throw ManifestError("line " + std::to_string(line) + ": " + what + " \"" + s + "\" is not a number");
  return std::stoull(s);
}

void Check(const ManifestEntry& e) {
  std::string where = "record at line " + std::to_string(e.line);
  if (e.record.view.empty() || e.record.key.empty()) throw ManifestError(where + ": view and key are required");
  if (!e.record.created.empty() && !IsTimeText(e.record.created))
    throw ManifestError(where + ": created is not YYYY-MM-DD HH:MM:SS");
  if (!e.record.updated.empty() && !IsTimeText(e.record.updated))
    throw ManifestError(where + ": updated is not YYYY-MM-DD HH:MM:SS");
}

namespace fs = std::filesystem;

bool Inside(const fs::path& p, const fs::path& root) {
  auto q = p.begin();
  for (auto r = root.begin(); r != root.end(); ++r, ++q)
    if (q == p.end() || *q != *r) return false;
  return true;
}

bool InsideAny(const fs::path& p, const std::vector<fs::path>& roots) {
  for (auto& root : roots)
    if (Inside(p, root)) return true;
  return false;
}

std::string Where(const ManifestEntry& e) {
  return "record at line " + std::to_string(e.line) + ": content_file \"" + e.content + "\"";
}

std::string Outside(const ManifestEntry& e) {
  return Where(e) + " is outside the store's folders (the data folder and the pages folder)";
}

// The file's real path (links and ".." resolved), refused unless it lies inside one of the roots.
fs::path ConfinedPath(const ManifestEntry& e, const fs::path& base_dir, const std::vector<fs::path>& roots) {
  if (e.content.find('\0') != std::string::npos) throw ManifestError(Where(e) + " holds a NUL byte");
  fs::path p(e.content);
  if (p.is_relative()) p = base_dir / p;
  std::error_code ec;
  fs::path real = fs::weakly_canonical(p, ec);
  if (ec) throw ManifestError(Where(e) + ": " + ec.message());
  if (!InsideAny(real, roots)) throw ManifestError(Outside(e));
  return real;
}

// Opens a confined file and checks again what was opened, so a link swapped in after the check does not
// lead out of the roots.
int OpenConfined(const ManifestEntry& e, const fs::path& real, const std::vector<fs::path>& roots) {
  int fd = ::open(real.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw ManifestError("record at line " + std::to_string(e.line) + ": cannot read " + real.string());
  struct stat st{};
  std::error_code ec;
  fs::path opened = fs::read_symlink("/proc/self/fd/" + std::to_string(fd), ec);
  if (ec || !InsideAny(opened, roots)) {
    ::close(fd);
    throw ManifestError(Outside(e));
  }
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw ManifestError(Where(e) + " is not a regular file");
  }
  return fd;
}

}  // namespace

std::vector<ManifestEntry> ParseManifest(const std::string& text) {
  std::vector<ManifestEntry> out;
  int line_no = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    auto eol = text.find('\n', pos);
    std::string raw = text.substr(pos, eol == std::string::npos ? std::string::npos : eol - pos);
    pos = eol == std::string::npos ? text.size() : eol + 1;
    ++line_no;
    std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') continue;
    if (line == "[record]") {
      if (!out.empty()) Check(out.back());
      out.emplace_back();
      out.back().line = line_no;
      out.back().record.name = "file.bin";
      continue;
    }
    auto eq = line.find('=');
    if (eq == std::string::npos)
      throw ManifestError("line " + std::to_string(line_no) + ": expected key = value or [record]");
    if (out.empty()) throw ManifestError("line " + std::to_string(line_no) + ": a field before the first [record]");
    std::string key = Trim(line.substr(0, eq));
    // Inline content keeps its blanks except the ones right after '='.
    std::string value = Trim(line.substr(eq + 1));
    ManifestEntry& e = out.back();
    auto set_source = [&](ManifestEntry::Source s) {
      if (e.source != ManifestEntry::Source::None)
        throw ManifestError("line " + std::to_string(line_no) + ": the record's bytes are given twice");
      e.source = s;
    };
    if (key == "view") e.record.view = value;
    else if (key == "key") e.record.key = value;
    else if (key == "name") e.record.name = value;
    else if (key == "checked_out_by") e.record.checked_out_by = value;
    else if (key == "user_name") e.record.user_name = value;
    else if (key == "created") e.record.created = value;
    else if (key == "updated") e.record.updated = value;
    else if (key == "file_ref") e.record.file_ref = value;
    else if (key == "content") {
      set_source(ManifestEntry::Source::Inline);
      std::string rest = raw.substr(raw.find('=') + 1);
      auto first = rest.find_first_not_of(" \t");
      rest = first == std::string::npos ? std::string() : rest.substr(first);
      if (!rest.empty() && rest.back() == '\r') rest.pop_back();
      e.content = Unescape(rest, line_no);
    } else if (key == "content_file") {
      set_source(ManifestEntry::Source::File);
      e.content = value;
    } else if (key == "generate") {
      set_source(ManifestEntry::Source::Generated);
      auto space = value.find_first_of(" \t");
      e.generate_size = ParseUnsigned(value.substr(0, space), line_no, "size");
      if (space != std::string::npos) e.generate_seed = ParseUnsigned(Trim(value.substr(space)), line_no, "seed");
    } else if (key == "size") {
      e.size_override = ParseUnsigned(value, line_no, "size");
    } else if (key == "crc") {
      bool negative = !value.empty() && value[0] == '-';
      std::uint64_t v = ParseUnsigned(negative ? value.substr(1) : value, line_no, "crc");
      if ((!negative && v > 0xFFFFFFFFull) || (negative && v > 0x80000000ull))
        throw ManifestError("line " + std::to_string(line_no) + ": crc out of range");
      e.crc_override = static_cast<std::uint32_t>(negative ? 0x100000000ull - v : v);
    } else {
      throw ManifestError("line " + std::to_string(line_no) + ": unknown field " + key);
    }
  }
  if (!out.empty()) Check(out.back());
  return out;
}

void Generator::Fill(char* out, std::size_t count) {
  while (count > 0) {
    if (pending_count_ == 0) {
      x_ ^= x_ << 13;
      x_ ^= x_ >> 7;
      x_ ^= x_ << 17;
      for (int i = 0; i < 8; ++i) pending_[i] = static_cast<unsigned char>(x_ >> (8 * i));
      pending_count_ = 8;
    }
    int take = static_cast<int>(std::min<std::size_t>(count, pending_count_));
    std::memcpy(out, pending_ + (8 - pending_count_), take);
    pending_count_ -= take;
    out += take;
    count -= take;
  }
}

int Seed(Store& store, const std::vector<ManifestEntry>& entries, const std::filesystem::path& base_dir,
         const std::vector<std::filesystem::path>& roots) {
  // Every content file is checked before anything is written: a refused manifest seeds nothing.
  std::vector<fs::path> real_roots;
  for (auto& root : roots) {
    fs::path r = fs::weakly_canonical(fs::absolute(root));
    if (r.filename().empty()) r = r.parent_path();
    real_roots.push_back(r);
  }
  std::vector<fs::path> confined(entries.size());
  if (!roots.empty())
    for (std::size_t i = 0; i < entries.size(); ++i)
      if (entries[i].source == ManifestEntry::Source::File)
        confined[i] = ConfinedPath(entries[i], fs::absolute(base_dir), real_roots);

  int count = 0;
  std::vector<char> buffer(1 << 20);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const ManifestEntry& e = entries[i];
    auto file = store.BeginFile();
    bool ok = true;
    switch (e.source) {
      case ManifestEntry::Source::None: break;
      case ManifestEntry::Source::Inline: ok = file->Write(e.content.data(), e.content.size()); break;
      case ManifestEntry::Source::File: {
        if (!roots.empty()) {
          int fd = OpenConfined(e, confined[i], real_roots);
          ssize_t n = 0;
          while (ok && (n = ::read(fd, buffer.data(), buffer.size())) > 0)
            ok = file->Write(buffer.data(), static_cast<std::size_t>(n));
          ::close(fd);
          if (n < 0) ok = false;
          break;
        }
        std::filesystem::path p(e.content);
        if (p.is_relative()) p = base_dir / p;
        std::ifstream in(p, std::ios::binary);
        if (!in) throw ManifestError("record at line " + std::to_string(e.line) + ": cannot read " + p.string());
        while (ok && in) {
          in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
          ok = file->Write(buffer.data(), static_cast<std::size_t>(in.gcount()));
        }
        break;
      }
      case ManifestEntry::Source::Generated: {
        Generator gen(e.generate_seed);
        for (std::uint64_t left = e.generate_size; ok && left > 0;) {
          std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
          gen.Fill(buffer.data(), n);
          ok = file->Write(buffer.data(), n);
          left -= n;
        }
        break;
      }
    }
    if (!ok) throw StoreError("writing the bytes of the record at line " + std::to_string(e.line) + " failed");
    store.Commit(*file, e.record, false, e.size_override, e.crc_override);
    ++count;
  }
  return count;
}

}  // namespace filestore
