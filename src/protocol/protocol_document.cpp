#include "protocol/protocol_document.h"

#include <cstdio>
#include <exception>

#include "protocol/wire_text.h"

namespace qm {

namespace {

void WriteLoadDiagnostics(const XmlParseError& error) {
    if (error.code == 0) {
        std::fprintf(stderr, "%s\n", Utf8Bytes(kLoadedSuccessfullyText).c_str());
        std::fflush(stderr);
        return;
    }
    std::string reason = Utf8Bytes(error.reason);
    // Keep the next diagnostic on a line of its own even when the parser's reason has no line end.
    if (reason.empty() || reason.back() != '\n') reason += '\n';
    std::fputs(reason.c_str(), stdout);
    if (error.line > 0)
        std::printf("Error on line %d, position %d in \"%s\".\n", static_cast<int>(error.line),
                    static_cast<int>(error.linePosition), Utf8Bytes(error.url).c_str());
    std::fflush(stdout);
}

}  // namespace

std::optional<std::wstring> CutResponseText(const std::wstring& replyText) {
    static constexpr std::wstring_view kOpen = L"<Response>";
    static constexpr std::wstring_view kClose = L"</Response>";
    const std::size_t end = replyText.find(kClose);
    if (end == std::wstring::npos) return std::nullopt;
    std::size_t start = replyText.find(kOpen);
    if (start == std::wstring::npos) start = 0;
    // An opening tag only after the first closing one cannot start the element that closes there.
    if (start > end) return std::nullopt;
    return replyText.substr(start, end + kClose.size() - start);
}

ProtocolDocument::ProtocolDocument(std::unique_ptr<XmlDocument> dom, const CodePage& codePage)
    : dom_(std::move(dom)), codePage_(codePage) {}

std::wstring ProtocolDocument::BuildGetFileRequest(const std::wstring& viewName, const std::wstring& primKey) {
    if (!Usable()) return {};
    try {
        auto request = dom_->CreateElement(L"DataRequest");
        auto getFile = dom_->CreateElement(L"GetFile");
        getFile->SetAttribute(L"ViewName", viewName);
        getFile->SetAttribute(L"PrimKey", primKey);
        request->AppendChild(*getFile);
        dom_->AppendChild(*request);
        return dom_->Xml();
    } catch (const std::exception&) {
        return {};
    }
}

std::wstring ProtocolDocument::BuildUploadHeader(const UploadHeaderFields& fields) const {
    try {
        return BuildUploadHeaderText(fields, codePage_);
    } catch (const UploadHeaderError&) {
        throw;
    } catch (const std::exception&) {
        throw UploadHeaderError(kHeaderCreationErrorText);
    }
}

bool ProtocolDocument::LoadResponse(const std::wstring& replyText) {
    if (!Usable()) return false;
    try {
        // Loading the empty text when nothing complete was cut still replaces the previous response.
        const XmlParseError error = dom_->LoadXml(CutResponseText(replyText).value_or(std::wstring()));
        WriteLoadDiagnostics(error);
        return error.code == 0;
    } catch (const std::exception&) {
        return false;
    }
}

std::unique_ptr<XmlElement> ProtocolDocument::Find(const wchar_t* path) {
    if (!Usable()) return nullptr;
    return dom_->SelectSingleElement(path);
}

bool ProtocolDocument::HasSuccessResponse() {
    try {
        return Find(L"Response/Success") != nullptr;
    } catch (const std::exception&) {
        return false;
    }
}

bool ProtocolDocument::HasErrorResponse() {
    try {
        return Find(L"Response/Error") != nullptr;
    } catch (const std::exception&) {
        return false;
    }
}

std::wstring ProtocolDocument::GetResponseMessage() {
    try {
        auto error = Find(L"Response/Error");
        if (!error) return kUnknownErrorText;
        return error->GetAttribute(L"Message").value_or(std::wstring());
    } catch (const std::exception&) {
        return kUnknownErrorText;
    }
}

std::wstring ProtocolDocument::GetFileRef() {
    try {
        auto success = Find(L"Response/Success");
        if (!success) return {};
        return success->GetAttribute(L"FileRef").value_or(std::wstring());
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace qm
