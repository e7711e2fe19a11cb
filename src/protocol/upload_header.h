#pragma once
// The block of request header lines that describes a posted file to the server.
#include <cstdint>
#include <string>

#include "common/errors.h"
#include "protocol/code_page.h"

namespace qm {

struct UploadHeaderFields {
    std::wstring FileName;  // name and extension, no folder
    std::wstring PrimKey;
    std::wstring ViewName;
    std::wstring UploadViewName;  // replaces ViewName when not empty
    std::uint32_t FileSize = 0;
    std::uint32_t FileCrc = 0;
};

// Takes the six fields from any descriptor that names them as the upload does.
template <class Descriptor>
UploadHeaderFields UploadHeaderFieldsOf(const Descriptor& d) {
    return UploadHeaderFields{d.FileName, d.PrimKey, d.ViewName, d.UploadViewName,
                              static_cast<std::uint32_t>(d.FileSize), static_cast<std::uint32_t>(d.FileCrc)};
}

// The server's field holds 260 characters with its terminator.
inline constexpr std::size_t kMaxEncodedFileName = 259;
// The most name bytes whose base64 fits that field.
inline constexpr std::size_t kMaxFileNameBytes = kMaxEncodedFileName / 4 * 3;

inline constexpr wchar_t kHeaderCreationErrorText[] = L"Error in header text creation.";

// The file cannot be described to the server; it must not be sent.
class UploadHeaderError : public Error {
public:
    using Error::Error;
};

// base64 of the name in the ANSI code page. Throws UploadHeaderError when it does not fit the field.
std::wstring EncodeUploadFileName(const std::wstring& fileName, const CodePage& codePage);

// Six CR LF ended lines, from "Content-Type: velmar/postedfile" to "vm_FileCRC :". Throws UploadHeaderError
// for a name too long for the field or a key or view name holding a line break (it would start a header of its own).
std::wstring BuildUploadHeaderText(const UploadHeaderFields& fields, const CodePage& codePage);

}  // namespace qm
