#include "record.h"

#include <cstdio>

namespace qm::pagehost {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(size, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), size);
    return out;
}

std::string JsonString(const std::wstring& text) {
    std::string out = "\"";
    for (char c : Utf8(text)) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                    out += buffer;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

void JsonObject::Key(const char* key) {
    if (!body_.empty()) body_ += ",";
    body_ += "\"";
    body_ += key;
    body_ += "\":";
}

JsonObject& JsonObject::Text(const char* key, const std::wstring& value) {
    Key(key);
    body_ += JsonString(value);
    return *this;
}

JsonObject& JsonObject::Number(const char* key, long long value) {
    Key(key);
    body_ += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::Bool(const char* key, bool value) {
    Key(key);
    body_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::Raw(const char* key, const std::string& value) {
    Key(key);
    body_ += value;
    return *this;
}

void Record::Add(const JsonObject& event) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(event.Finish());
}

void Record::Fail(const std::wstring& reason) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failures_.push_back(reason);
    }
    Say(L"failure: " + reason);
}

bool Record::Failed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !failures_.empty();
}

std::vector<std::wstring> Record::Failures() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failures_;
}

bool Record::Write(const std::wstring& path, const std::wstring& page, const std::wstring& result) const {
    std::string text;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        text = "{\"page\":" + JsonString(page) + ",\"result\":" + JsonString(result) + ",\"failures\":[";
        for (size_t i = 0; i < failures_.size(); ++i) text += (i ? "," : "") + JsonString(failures_[i]);
        text += "],\"events\":[\n";
        for (size_t i = 0; i < events_.size(); ++i) text += (i ? ",\n" : "") + events_[i];
        text += "\n]}\n";
    }
    if (path.empty()) return true;
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

void Record::Say(const std::wstring& line) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text = Utf8(line) + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

int& PageCallDepth() {
    static int depth = 0;
    return depth;
}

Record& TheRecord() {
    static Record record;
    return record;
}

}  // namespace qm::pagehost
