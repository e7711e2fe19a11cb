#pragma once
// Exception types of the portable core. Operations catch them at their boundary and show text() to the user.
#include <cstdint>
#include <exception>
#include <string>

namespace qm {

// Longest message text a box shows for a caught error.
inline constexpr std::size_t kMaxErrorText = 255;

inline std::wstring CutErrorText(std::wstring text) {
    if (text.size() > kMaxErrorText) text.resize(kMaxErrorText);
    return text;
}

class Error : public std::exception {
public:
    explicit Error(std::wstring text) : text_(CutErrorText(std::move(text))) {
        narrow_.reserve(text_.size());
        for (wchar_t c : text_) narrow_.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    const std::wstring& text() const noexcept { return text_; }
    const char* what() const noexcept override { return narrow_.c_str(); }

private:
    std::wstring text_;
    std::string narrow_;
};

// An HTTP client failure with the platform's error code (12032 asks for the request to be sent again).
class InternetError : public Error {
public:
    InternetError(std::uint32_t code, std::wstring text) : Error(std::move(text)), code_(code) {}
    std::uint32_t code() const noexcept { return code_; }

private:
    std::uint32_t code_;
};

// A local file or folder operation failed.
class FileError : public Error {
public:
    FileError(std::uint32_t code, std::wstring text) : Error(std::move(text)), code_(code) {}
    std::uint32_t code() const noexcept { return code_; }

private:
    std::uint32_t code_;
};

}  // namespace qm
