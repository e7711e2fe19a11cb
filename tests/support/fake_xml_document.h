#pragma once
// The XML document port: a small DOM with ordered attributes, a parser for the response documents and a writer
// for requests.
#include <cwchar>
#include <cwctype>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/errors.h"
#include "protocol/xml_document.h"

namespace qm::testing {

class FakeXmlDocument : public XmlDocument {
public:
    struct Node {
        std::wstring name;
        std::vector<std::pair<std::wstring, std::wstring>> attributes;
        std::vector<std::shared_ptr<Node>> children;
    };

    bool created = true;
    bool failCreateElement = false;
    // What the parser's reasons end with (MSXML's end with a line end; others need not).
    std::wstring reasonEnd = L"\r\n";
    // When set, the reason of every parse failure, as a parser in another language gives it.
    std::wstring localizedReason;
    std::vector<std::wstring> loadedTexts;

    bool Created() const override { return created; }

    std::unique_ptr<XmlElement> CreateElement(const std::wstring& name) override {
        if (failCreateElement) throw Error(L"createElement failed");
        auto node = std::make_shared<Node>();
        node->name = name;
        return std::make_unique<Element>(node);
    }
    void AppendChild(XmlElement& child) override {
        if (root_) throw Error(L"only one top level element is allowed");
        root_ = static_cast<Element&>(child).node;
    }
    std::wstring Xml() override { return root_ ? Write(*root_) + L"\r\n" : std::wstring(); }

    XmlParseError LoadXml(const std::wstring& text) override {
        loadedTexts.push_back(text);
        root_.reset();
        Parser parser{text};
        XmlParseError error;
        try {
            root_ = parser.Document();
        } catch (const ParseFailure& failure) {
            error.code = 1;
            error.reason = (localizedReason.empty() ? failure.reason : localizedReason) + reasonEnd;
            error.line = text.empty() ? 0 : parser.Line();
            error.linePosition = parser.LinePosition();
        }
        return error;
    }

    std::unique_ptr<XmlElement> SelectSingleElement(const std::wstring& path) override {
        const std::size_t slash = path.find(L'/');
        if (!root_ || root_->name != path.substr(0, slash)) return nullptr;
        for (const auto& child : root_->children)
            if (child->name == path.substr(slash + 1)) return std::make_unique<Element>(child);
        return nullptr;
    }

private:
    struct Element : XmlElement {
        explicit Element(std::shared_ptr<Node> n) : node(std::move(n)) {}
        void SetAttribute(const std::wstring& name, const std::wstring& value) override {
            node->attributes.emplace_back(name, value);
        }
        void AppendChild(XmlElement& child) override { node->children.push_back(static_cast<Element&>(child).node); }
        std::optional<std::wstring> GetAttribute(const std::wstring& name) override {
            for (const auto& [n, v] : node->attributes)
                if (n == name) return v;
            return std::nullopt;
        }
        std::shared_ptr<Node> node;
    };

    struct ParseFailure {
        std::wstring reason;
    };

    struct Parser {
        const std::wstring& text;
        std::size_t at = 0;

        long Line() const {
            long line = 1;
            for (std::size_t i = 0; i < at && i < text.size(); ++i) line += text[i] == L'\n';
            return line;
        }
        long LinePosition() const {
            const std::size_t lineStart = text.rfind(L'\n', at == 0 ? 0 : at - 1);
            return static_cast<long>(at - (lineStart == std::wstring::npos ? 0 : lineStart + 1)) + 1;
        }
        [[noreturn]] void Fail(const wchar_t* reason) { throw ParseFailure{reason}; }
        bool More() const { return at < text.size(); }
        bool Starts(const wchar_t* s) const { return text.compare(at, std::wcslen(s), s) == 0; }
        void Blanks() {
            while (More() && std::wcschr(L" \t\r\n", text[at])) ++at;
        }
        std::wstring Name() {
            const std::size_t start = at;
            while (More() && (std::iswalnum(text[at]) || text[at] == L'_' || text[at] == L'-' || text[at] == L':')) ++at;
            if (at == start) Fail(L"A name was expected.");
            return text.substr(start, at - start);
        }
        std::wstring Decode(const std::wstring& raw) {
            std::wstring out;
            for (std::size_t i = 0; i < raw.size(); ++i) {
                if (raw[i] == L'<') Fail(L"'<' is not allowed in an attribute value.");
                if (raw[i] != L'&') {
                    out += raw[i];
                    continue;
                }
                const std::size_t semi = raw.find(L';', i);
                if (semi == std::wstring::npos) Fail(L"An entity was not ended.");
                const std::wstring entity = raw.substr(i + 1, semi - i - 1);
                if (entity == L"amp") out += L'&';
                else if (entity == L"lt") out += L'<';
                else if (entity == L"gt") out += L'>';
                else if (entity == L"quot") out += L'"';
                else if (entity == L"apos") out += L'\'';
                else if (entity.size() > 1 && entity[0] == L'#')
                    out += static_cast<wchar_t>(entity[1] == L'x' ? std::stoul(entity.substr(2), nullptr, 16)
                                                                  : std::stoul(entity.substr(1)));
                else Fail(L"An unknown entity was used.");
                i = semi;
            }
            return out;
        }
        std::shared_ptr<Node> ElementAt() {
            if (!Starts(L"<")) Fail(L"An element was expected.");
            ++at;
            auto node = std::make_shared<Node>();
            node->name = Name();
            for (;;) {
                Blanks();
                if (Starts(L"/>")) {
                    at += 2;
                    return node;
                }
                if (Starts(L">")) {
                    ++at;
                    break;
                }
                std::wstring name = Name();
                Blanks();
                if (!Starts(L"=")) Fail(L"'=' was expected.");
                ++at;
                Blanks();
                if (!More() || (text[at] != L'"' && text[at] != L'\'')) Fail(L"A quoted value was expected.");
                const wchar_t quote = text[at++];
                const std::size_t end = text.find(quote, at);
                if (end == std::wstring::npos) Fail(L"A value was not ended.");
                node->attributes.emplace_back(name, Decode(text.substr(at, end - at)));
                at = end + 1;
            }
            for (;;) {
                if (!More()) Fail(L"The element was not closed.");
                if (Starts(L"</")) {
                    at += 2;
                    if (Name() != node->name) Fail(L"The end tag does not match the start tag.");
                    Blanks();
                    if (!Starts(L">")) Fail(L"'>' was expected.");
                    ++at;
                    return node;
                }
                if (Starts(L"<")) {
                    node->children.push_back(ElementAt());
                } else {
                    const std::size_t end = text.find(L'<', at);
                    Decode(text.substr(at, end - at));
                    at = end == std::wstring::npos ? text.size() : end;
                }
            }
        }
        std::shared_ptr<Node> Document() {
            if (text.empty()) Fail(L"The document has no top level element.");
            if (Starts(L"<?xml")) {
                const std::size_t end = text.find(L"?>", at);
                if (end == std::wstring::npos) Fail(L"The declaration was not ended.");
                at = end + 2;
            }
            Blanks();
            auto root = ElementAt();
            Blanks();
            if (More()) Fail(L"Only one top level element is allowed.");
            return root;
        }
    };

    static std::wstring Escape(const std::wstring& value) {
        std::wstring out;
        for (wchar_t c : value) {
            if (c == L'&') out += L"&amp;";
            else if (c == L'<') out += L"&lt;";
            else if (c == L'>') out += L"&gt;";
            else if (c == L'"') out += L"&quot;";
            else out += c;
        }
        return out;
    }
    static std::wstring Write(const Node& node) {
        std::wstring out = L"<" + node.name;
        for (const auto& [n, v] : node.attributes) out += L" " + n + L"=\"" + Escape(v) + L"\"";
        if (node.children.empty()) return out + L"/>";
        out += L">";
        for (const auto& child : node.children) out += Write(*child);
        return out + L"</" + node.name + L">";
    }

    std::shared_ptr<Node> root_;
};

}  // namespace qm::testing
