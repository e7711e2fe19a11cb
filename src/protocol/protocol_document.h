#pragma once
// One per transfer: builds the GetFile request and the upload header, and reads the server's response document.
#include <memory>
#include <optional>
#include <string>

#include "protocol/code_page.h"
#include "protocol/upload_header.h"
#include "protocol/xml_document.h"

namespace qm {

inline constexpr wchar_t kUnknownErrorText[] = L"Unknown Error";
inline constexpr wchar_t kLoadedSuccessfullyText[] = L"XML document loaded successfully";

// The part of a reply text that is loaded as the response document: from "<Response>" (or the start) to the
// end of the first "</Response>"; nothing when "</Response>" does not occur.
std::optional<std::wstring> CutResponseText(const std::wstring& replyText);

class ProtocolDocument {
public:
    // dom may be null or not created: requests are then empty and every question answers "nothing".
    // The code page must outlive the document.
    ProtocolDocument(std::unique_ptr<XmlDocument> dom, const CodePage& codePage);

    // <DataRequest><GetFile ViewName=".." PrimKey=".."/></DataRequest> as the DOM writes it; empty on any failure.
    std::wstring BuildGetFileRequest(const std::wstring& viewName, const std::wstring& primKey);

    // Throws UploadHeaderError when the file cannot be described (the file must then not be sent).
    std::wstring BuildUploadHeader(const UploadHeaderFields& fields) const;
    template <class Descriptor>
    std::wstring BuildUploadHeader(const Descriptor& descriptor) const {
        return BuildUploadHeader(UploadHeaderFieldsOf(descriptor));
    }

    // Replaces the loaded document; true when the cut text parsed. Writes the load diagnostics.
    bool LoadResponse(const std::wstring& replyText);
    bool HasSuccessResponse();
    bool HasErrorResponse();
    std::wstring GetResponseMessage();
    // Empty when there is no success element or it carries no reference.
    std::wstring GetFileRef();

private:
    bool Usable() const { return dom_ && dom_->Created(); }
    std::unique_ptr<XmlElement> Find(const wchar_t* path);

    std::unique_ptr<XmlDocument> dom_;
    const CodePage& codePage_;
};

}  // namespace qm
