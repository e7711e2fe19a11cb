#pragma once
// The block of request header lines that describes a posted file to the server.
#include <cstdint>
#include <optional>
#include <string>

#include "common/errors.h"
#include "protocol/code_page.h"

namespace qm {

// How the name field holds the name: the ANSI code page (the store's contract), or UTF-8 for a store that said
// it takes it (the element's "FileNameEncoding" attribute).
enum class NameEncoding { CodePage, Utf8 };

inline constexpr wchar_t kFileNameEncodingAttribute[] = L"FileNameEncoding";
// "utf-8" or "utf8" in any case is UTF-8; anything else, or no attribute, keeps the code page.
NameEncoding NameEncodingOf(const std::wstring& attributeValue);

struct UploadHeaderFields {
    std::wstring FileName;  // name and extension, no folder
    std::wstring PrimKey;
    std::wstring ViewName;
    std::wstring UploadViewName;  // replaces ViewName when not empty
    std::uint32_t FileSize = 0;
    std::uint32_t FileCrc = 0;
    NameEncoding Encoding = NameEncoding::CodePage;
};

// Takes the six fields from any descriptor that names them as the upload does.
template <class Descriptor>
UploadHeaderFields UploadHeaderFieldsOf(const Descriptor& d) {
    UploadHeaderFields fields{d.FileName, d.PrimKey, d.ViewName, d.UploadViewName,
                              static_cast<std::uint32_t>(d.FileSize), static_cast<std::uint32_t>(d.FileCrc)};
    if constexpr (requires { d.FileNameUtf8; })
        if (d.FileNameUtf8) fields.Encoding = NameEncoding::Utf8;
    return fields;
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

// The line that tells the store the name field holds UTF-8; sent only then.
inline constexpr wchar_t kFileNameEncodingLine[] = L"vm_FileNameEncoding :utf-8\r\n";

// The name's bytes as the name field carries them.
std::string UploadFileNameBytes(const std::wstring& fileName, NameEncoding encoding, const CodePage& codePage);
// Why the name cannot go in the field (the file named), or nothing when it fits.
std::optional<std::wstring> FileNameRefusal(const std::wstring& fileName, NameEncoding encoding,
                                            const CodePage& codePage);

// base64 of the name's bytes. Throws UploadHeaderError when they do not fit the field.
std::wstring EncodeUploadFileName(const std::wstring& fileName, const CodePage& codePage,
                                  NameEncoding encoding = NameEncoding::CodePage);

// Six CR LF ended lines, from "Content-Type: velmar/postedfile" to "vm_FileCRC :", and kFileNameEncodingLine
// after them for a UTF-8 name. Throws UploadHeaderError
// for a name too long for the field or a key or view name holding a line break (it would start a header of its own).
std::wstring BuildUploadHeaderText(const UploadHeaderFields& fields, const CodePage& codePage);

}  // namespace qm
