#pragma once
// What a run saw and did, in order, written as JSON at the end (or when the time bound stops the run).
#include <windows.h>
#include <oaidl.h>

#include <mutex>
#include <string>
#include <vector>

namespace qm::pagehost {

// JSON of a value as the record shows it: text as a string, numbers and booleans as themselves, empty and null as
// null, anything else as {"vt": N}.
std::string VariantJson(const VARIANT& value);

// One JSON object under construction; values are escaped as they are added.
class JsonObject {
public:
    JsonObject& Text(const char* key, const std::wstring& value);
    JsonObject& Number(const char* key, long long value);
    JsonObject& Bool(const char* key, bool value);
    // value is already JSON (an array or object).
    JsonObject& Raw(const char* key, const std::string& value);
    std::string Finish() const { return "{" + body_ + "}"; }

private:
    void Key(const char* key);
    std::string body_;
};

std::string JsonString(const std::wstring& text);
std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);

class Record {
public:
    void Add(const JsonObject& event);
    void Fail(const std::wstring& reason);
    bool Failed() const;
    std::vector<std::wstring> Failures() const;
    // Writes {"page", "result", "failures", "events"}; result is "passed", "failed" or "timeout".
    bool Write(const std::wstring& path, const std::wstring& page, const std::wstring& result) const;
    // A line on standard output, as the run goes.
    void Say(const std::wstring& line) const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    std::vector<std::wstring> failures_;
};

Record& TheRecord();

// Depth of page-function calls made through the document's script object: a script error raised inside one is
// part of the scenario (the caller sees the failure) and is recorded, not counted against the run.
int& PageCallDepth();

}  // namespace qm::pagehost
