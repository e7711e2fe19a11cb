// The control's reading of a server reply: the cut of the response document out of the reply text and the
// decisions the two reply tables make; and the GetFile request body, read back by the file store's parser.
#include <memory>
#include <stdexcept>
#include <string>

#include "common/errors.h"
#include "fuzz_support.h"
#include "protocol/protocol_document.h"
#include "protocol/reply_rules.h"
#include "protocol/wire_text.h"
#include "support/fake_code_page.h"
#include "support/fake_xml_document.h"
#include "wire.h"

namespace {

using namespace qm;

// A DOM whose answers come from the input instead of a parser: which elements the loaded text has, their
// attributes, and whether it fails or throws, so every row of the tables is reached with any reply text.
class ScriptedDocument : public XmlDocument {
public:
    bool created = true;
    bool hasSuccess = false, hasError = false, hasFileRef = false, hasMessage = false, throws = false;
    long loadCode = 0;
    std::wstring fileRef, message, reason;
    int loads = 0;
    std::wstring loaded;

    bool Created() const override { return created; }
    std::unique_ptr<qm::XmlElement> CreateElement(const std::wstring&) override { throw Error(L"unused"); }
    void AppendChild(qm::XmlElement&) override { throw Error(L"unused"); }
    std::wstring Xml() override { return {}; }
    XmlParseError LoadXml(const std::wstring& text) override {
        ++loads;
        loaded = text;
        if (throws) throw std::runtime_error("load failed");
        XmlParseError error;
        error.code = loadCode;
        error.reason = reason;
        error.line = loadCode ? 1 : 0;
        error.url = reason;
        return error;
    }
    std::unique_ptr<qm::XmlElement> SelectSingleElement(const std::wstring& path) override {
        if (throws) throw Error(L"select failed");
        if (loads == 0) return nullptr;
        if (path == L"Response/Success" && hasSuccess) return std::make_unique<Element>(hasFileRef, L"FileRef", fileRef);
        if (path == L"Response/Error" && hasError) return std::make_unique<Element>(hasMessage, L"Message", message);
        return nullptr;
    }

private:
    struct Element : qm::XmlElement {
        Element(bool has, std::wstring n, std::wstring v) : has(has), name(std::move(n)), value(std::move(v)) {}
        void SetAttribute(const std::wstring&, const std::wstring&) override {}
        void AppendChild(qm::XmlElement&) override {}
        std::optional<std::wstring> GetAttribute(const std::wstring& n) override {
            if (has && n == name) return value;
            return std::nullopt;
        }
        bool has;
        std::wstring name, value;
    };
};

void CheckCut(const std::wstring& reply) {
    static const std::wstring kOpen = L"<Response>", kClose = L"</Response>";
    const auto cut = CutResponseText(reply);
    const std::size_t close = reply.find(kClose);
    const std::size_t open = reply.find(kOpen);
    if (close == std::wstring::npos || (open != std::wstring::npos && open > close)) {
        FUZZ_CHECK(!cut);
        return;
    }
    FUZZ_CHECK(cut);
    const std::size_t start = open == std::wstring::npos ? 0 : open;
    FUZZ_CHECK(reply.compare(start, cut->size(), *cut) == 0);
    FUZZ_CHECK(cut->size() >= kClose.size() && cut->find(kClose) == cut->size() - kClose.size());
    if (open != std::wstring::npos) FUZZ_CHECK(cut->rfind(kOpen, 0) == 0);
}

void CheckDecisions(const std::wstring& reply, std::uint32_t flags, const std::wstring& a, const std::wstring& b) {
    testing::Latin1CodePage codePage;
    for (bool getFile : {false, true}) {
        auto owned = std::make_unique<ScriptedDocument>();
        ScriptedDocument& dom = *owned;
        dom.created = !(flags & 1);
        dom.hasSuccess = flags & 2;
        dom.hasError = flags & 4;
        dom.hasFileRef = flags & 8;
        dom.hasMessage = flags & 16;
        dom.throws = flags & 32;
        dom.loadCode = (flags & 64) ? 1 : 0;
        dom.fileRef = a;
        dom.message = b;
        dom.reason = a;
        const bool noDom = flags & 128;
        ProtocolDocument document(noDom ? nullptr : std::move(owned), codePage);
        const bool usable = !noDom && dom.created;
        const bool success = usable && !dom.throws && dom.hasSuccess;
        const bool error = usable && !dom.throws && dom.hasError;
        const std::wstring messageShown =
            !error ? std::wstring(kUnknownErrorText) : dom.hasMessage ? dom.message : std::wstring();

        const ReplyDecision d = getFile ? DecideReply(kGetFileReplyRules, document, reply)
                                        : DecideReply(kFilePostReplyRules, document, reply);
        FUZZ_CHECK((d.box == ReplyBox::None) == d.text.empty());
        if (!noDom) {
            FUZZ_CHECK(dom.loads <= 1);
            if (dom.loads == 1) FUZZ_CHECK(dom.loaded == CutResponseText(reply).value_or(std::wstring()));
        }
        if (getFile) {
            FUZZ_CHECK(!d.stored && d.fileRef.empty() && d.box != ReplyBox::Error);
            if (reply.find(L"text/html") != std::wstring::npos) {
                // Shown from the first "<body" on, without looking at the document.
                const std::size_t body = reply.find(L"<body");
                FUZZ_CHECK(d.text == (body == std::wstring::npos ? reply : reply.substr(body)));
                if (!noDom) FUZZ_CHECK(dom.loads == 0);
            } else if (reply.empty()) {
                FUZZ_CHECK(d.box == ReplyBox::None);
                if (!noDom) FUZZ_CHECK(dom.loads == 0);
            } else {
                FUZZ_CHECK(d.text == (error ? messageShown : reply));
            }
        } else {
            FUZZ_CHECK(d.stored == success);
            if (success) {
                FUZZ_CHECK(d.box == ReplyBox::None && d.fileRef == (dom.hasFileRef ? a : std::wstring()));
            } else if (error) {
                FUZZ_CHECK(d.text == messageShown && (d.text.empty() || d.box == ReplyBox::Error));
            } else {
                FUZZ_CHECK(d.text == reply && (reply.empty() || d.box == ReplyBox::Message));
            }
        }
    }
}

// The request the DOM writes, made single-byte for the wire, reads back in the file store as the same names.
void CheckGetFileBody(const std::wstring& view, const std::wstring& key) {
    if (view.empty() || key.empty()) return;
    testing::Latin1CodePage codePage;
    ProtocolDocument document(std::make_unique<testing::FakeXmlDocument>(), codePage);
    const std::string body = EncodeGetFileBody(document.BuildGetFileRequest(view, key));
    auto expected = [](std::wstring text) {
        for (auto& c : text)
            if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;  // a lone surrogate cannot be referenced
        return fuzz::Utf8(text);
    };
    std::string error;
    const auto read = filestore::ParseGetFile(body, error);
    FUZZ_CHECK(read);
    FUZZ_CHECK(read->view_name == expected(view));
    FUZZ_CHECK(read->prim_key == expected(key));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto f = fuzz::Fields(data, size, 4);
    const std::wstring reply = fuzz::Wide(f[0]);
    const std::wstring a = fuzz::Wide(f[2]), b = fuzz::Wide(f[3]);
    CheckCut(reply);
    CheckDecisions(reply, fuzz::Number(f[1]), a, b);
    CheckGetFileBody(a, b);
    return 0;
}
