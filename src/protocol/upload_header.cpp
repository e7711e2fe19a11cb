#include "protocol/upload_header.h"

#include "protocol/wire_text.h"

namespace qm {

namespace {

void RefuseLineBreak(const std::wstring& value, const wchar_t* what) {
    if (value.find_first_of(L"\r\n") != std::wstring::npos)
        throw UploadHeaderError(std::wstring(L"The ") + what + L" \"" + value +
                                L"\" holds a line break and cannot be sent to the server.");
    // A NUL would end the header line where the platform reads it, and the rest of the block with it.
    if (value.find(L'\0') != std::wstring::npos)
        throw UploadHeaderError(std::wstring(L"The ") + what + L" \"" + value.substr(0, value.find(L'\0')) +
                                L"...\" holds a NUL character and cannot be sent to the server.");
}

}  // namespace

NameEncoding NameEncodingOf(const std::wstring& value) {
    std::wstring lower;
    for (wchar_t c : value) lower += (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    return lower == L"utf-8" || lower == L"utf8" ? NameEncoding::Utf8 : NameEncoding::CodePage;
}

std::string UploadFileNameBytes(const std::wstring& fileName, NameEncoding encoding, const CodePage& codePage) {
    return encoding == NameEncoding::Utf8 ? Utf8Bytes(fileName) : codePage.ToAnsi(fileName);
}

std::optional<std::wstring> FileNameRefusal(const std::wstring& fileName, NameEncoding encoding,
                                            const CodePage& codePage) {
    const std::size_t size = UploadFileNameBytes(fileName, encoding, codePage).size();
    if (size <= kMaxFileNameBytes) return std::nullopt;
    return L"The file name \"" + fileName + L"\" is too long to be sent to the server: it takes " +
           std::to_wstring(size) + (encoding == NameEncoding::Utf8 ? L" bytes in UTF-8" : L" bytes in this computer's code page") +
           L", and the server's field holds at most " + std::to_wstring(kMaxFileNameBytes) + L".";
}

std::wstring EncodeUploadFileName(const std::wstring& fileName, const CodePage& codePage, NameEncoding encoding) {
    if (auto refusal = FileNameRefusal(fileName, encoding, codePage)) throw UploadHeaderError(*refusal);
    return Base64Encode(UploadFileNameBytes(fileName, encoding, codePage));
}

std::wstring BuildUploadHeaderText(const UploadHeaderFields& fields, const CodePage& codePage) {
    const std::wstring& viewName = fields.UploadViewName.empty() ? fields.ViewName : fields.UploadViewName;
    RefuseLineBreak(fields.PrimKey, L"primary key");
    RefuseLineBreak(viewName, L"view name");
    std::wstring block;
    block += L"Content-Type: velmar/postedfile\r\n";
    block += L"vm_PrimKey :" + fields.PrimKey + L"\r\n";
    block += L"vm_ViewName :" + viewName + L"\r\n";
    block += L"vm_FileName :" + EncodeUploadFileName(fields.FileName, codePage, fields.Encoding) + L"\r\n";
    block += L"vm_FileSize :" + SignedDecimalText(fields.FileSize) + L"\r\n";
    block += L"vm_FileCRC :" + SignedDecimalText(fields.FileCrc) + L"\r\n";
    if (fields.Encoding == NameEncoding::Utf8) block += kFileNameEncodingLine;
    return block;
}

}  // namespace qm
