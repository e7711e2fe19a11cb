#include "protocol/protocol_document.h"

#include <cstdio>
#include <exception>

namespace qm {

namespace {

std::string Utf8(const std::wstring& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = static_cast<std::uint32_t>(text[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            const std::uint32_t low = static_cast<std::uint32_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

void WriteLoadDiagnostics(const XmlParseError& error) {
    if (error.code == 0) {
        std::fprintf(stderr, "%s\n", Utf8(kLoadedSuccessfullyText).c_str());
        std::fflush(stderr);
        return;
    }
    std::string reason = Utf8(error.reason);
    // Keep the next diagnostic on a line of its own even when the parser's reason has no line end.
    if (reason.empty() || reason.back() != '\n') reason += '\n';
    std::fputs(reason.c_str(), stdout);
    if (error.line > 0)
        std::printf("Error on line %d, position %d in \"%s\".\n", static_cast<int>(error.line),
                    static_cast<int>(error.linePosition), Utf8(error.url).c_str());
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
