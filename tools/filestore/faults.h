// Faults that tests switch on for the next endpoint requests.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace filestore {

enum class RequestKind { GetFile, Upload, Other };

struct Fault {
  std::string name;
  int remaining = 1;          // -1: until cleared
  std::string target = "any"; // any, getfile, upload
  std::map<std::string, std::string> params;

  std::string Param(const std::string& key, const std::string& fallback) const;
  long long Number(const std::string& key, long long fallback) const;
  bool IsReply() const;
  bool IsFileData() const;
  std::string Json() const;
};

// Checks a fault's name and parameters; returns the problem, or empty.
std::string ValidateFault(const Fault& f);

class FaultSet {
 public:
  void Set(Fault f);
  void Clear();
  std::vector<Fault> List();
  // The faults that apply to this request, each with one count used up. File-data faults apply only to
  // a GetFile that found its record (has_file), except slow-body aimed at uploads.
  std::vector<Fault> Take(RequestKind kind, bool has_file);

 private:
  std::mutex mutex_;
  std::vector<Fault> faults_;
};

// The body of a reply fault that is made, not stored: a head, a filler repeated, a tail. Too large or endless
// to hold in memory, so the server asks for it piece by piece.
struct MadeBody {
  std::string content_type;
  std::string head, filler, tail;
  std::uint64_t length = 0;  // the whole body; ignored when endless
  bool endless = false;      // no length: the filler goes on until the client leaves
  long long rate = 0;        // bytes per second; 0: as fast as the connection takes them

  // Bytes [offset, offset + n) of the body, cut at its end.
  std::string Piece(std::uint64_t offset, std::size_t n) const;
};

// The made body of the faults doctype-external, entity-bomb, huge-html, huge-response and endless; nothing for
// the others.
std::optional<MadeBody> MadeReply(const Fault& f);

const Fault* FindFault(const std::vector<Fault>& faults, const std::string& name);
// The first reply fault, if any.
const Fault* ReplyFault(const std::vector<Fault>& faults);

}  // namespace filestore
