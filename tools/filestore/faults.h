// Faults that tests switch on for the next endpoint requests.
#pragma once

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

const Fault* FindFault(const std::vector<Fault>& faults, const std::string& name);
// The first reply fault, if any.
const Fault* ReplyFault(const std::vector<Fault>& faults);

}  // namespace filestore
