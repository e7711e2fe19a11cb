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

std::wstring EncodeUploadFileName(const std::wstring& fileName, const CodePage& codePage) {
    const std::string bytes = codePage.ToAnsi(fileName);
    if (bytes.size() > kMaxFileNameBytes)
        throw UploadHeaderError(L"The file name \"" + fileName + L"\" is too long to be sent to the server (at most " +
                                std::to_wstring(kMaxFileNameBytes) + L" bytes).");
    return Base64Encode(bytes);
}

std::wstring BuildUploadHeaderText(const UploadHeaderFields& fields, const CodePage& codePage) {
    const std::wstring& viewName = fields.UploadViewName.empty() ? fields.ViewName : fields.UploadViewName;
    RefuseLineBreak(fields.PrimKey, L"primary key");
    RefuseLineBreak(viewName, L"view name");
    std::wstring block;
    block += L"Content-Type: velmar/postedfile\r\n";
    block += L"vm_PrimKey :" + fields.PrimKey + L"\r\n";
    block += L"vm_ViewName :" + viewName + L"\r\n";
    block += L"vm_FileName :" + EncodeUploadFileName(fields.FileName, codePage) + L"\r\n";
    block += L"vm_FileSize :" + SignedDecimalText(fields.FileSize) + L"\r\n";
    block += L"vm_FileCRC :" + SignedDecimalText(fields.FileCrc) + L"\r\n";
    return block;
}

}  // namespace qm
