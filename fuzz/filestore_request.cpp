// The file store's reading of a request: the head (request line, header fields, the post's vm_ fields with
// their lying sizes and CRCs) and the GetFile document in the body, and the texts it writes back.
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "wire.h"

using namespace filestore;

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

bool IsXmlChar(std::uint32_t cp) {
    return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) || (cp >= 0xE000 && cp <= 0xFFFD) ||
           (cp >= 0x10000 && cp <= 0x10FFFF);
}

// Every character reference in a written document names a character XML allows.
void CheckReferences(std::string_view doc) {
    for (std::size_t at = doc.find("&#"); at != std::string_view::npos; at = doc.find("&#", at + 2)) {
        const std::size_t end = doc.find(';', at);
        FUZZ_CHECK(end != std::string_view::npos);
        std::uint32_t cp = 0;
        const auto [p, ec] = std::from_chars(doc.data() + at + 2, doc.data() + end, cp);
        FUZZ_CHECK(ec == std::errc() && p == doc.data() + end);
        FUZZ_CHECK(IsXmlChar(cp));
    }
}

// A valid UTF-8 name as a written document carries it: what XML cannot hold becomes U+FFFD.
std::string Writable(const std::string& utf8) {
    std::wstring text = fuzz::Wide(utf8);
    for (auto& c : text)
        if (!IsXmlChar(static_cast<std::uint32_t>(c))) c = 0xFFFD;
    return fuzz::Utf8(text);
}

// ParseInt32 against the standard library's reading of the same grammar.
void CheckInt32(std::string_view text) {
    const auto parsed = ParseInt32(text);
    std::string_view digits = text.substr(!text.empty() && text[0] == '-');
    bool grammar = !digits.empty() && digits.size() <= 10;
    for (char c : digits) grammar = grammar && c >= '0' && c <= '9';
    if (!grammar) {
        FUZZ_CHECK(!parsed);
        return;
    }
    std::int32_t expected = 0;
    const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), expected);
    if (ec == std::errc() && p == text.data() + text.size()) {
        FUZZ_CHECK(parsed && *parsed == expected);
    } else {
        FUZZ_CHECK(!parsed);
    }
}

void CheckHead(std::string_view raw) {
    const RequestHead head = ParseRequestHead(raw);
    FUZZ_CHECK(head.request_line.find('\n') == std::string::npos);
    FUZZ_CHECK(raw.substr(0, head.request_line.size()) == head.request_line);
    for (const HeaderField& f : head.fields) {
        FUZZ_CHECK(f.name.find_first_of(":\n") == std::string::npos);
        FUZZ_CHECK(f.value.find('\n') == std::string::npos);
        for (const std::string* s : {&f.name, &f.value})
            if (!s->empty()) FUZZ_CHECK(!IsBlank(s->front()) && !IsBlank(s->back()) && s->back() != '\r');
        const HeaderField* found = FindField(head, f.name);
        FUZZ_CHECK(found && found <= &f);
    }

    for (const char* name : {"vm_FileSize", "vm_FileCRC"})
        if (const HeaderField* f = FindField(head, name)) CheckInt32(f->value);

    std::string error;
    const auto fields = ParseUploadFields(head, error);
    if (!fields) {
        FUZZ_CHECK(!error.empty());
        CheckReferences(ErrorDocument(error));
        return;
    }
    FUZZ_CHECK(!fields->prim_key.empty() && IsValidUtf8(fields->prim_key));
    FUZZ_CHECK(!fields->view_name.empty() && IsValidUtf8(fields->view_name));
    FUZZ_CHECK(IsValidUtf8(fields->file_name) && FileNameProblem(fields->file_name).empty());
    // The sizes the post states are what a well-formed number says, whatever the body turns out to be.
    FUZZ_CHECK(ParseInt32(std::to_string(fields->file_size)) == fields->file_size);
    FUZZ_CHECK(ParseInt32(std::to_string(fields->file_crc)) == fields->file_crc);
    const auto name_bytes = Base64Decode(FindField(head, "vm_FileName")->value);
    FUZZ_CHECK(name_bytes && Cp1252ToUtf8(*name_bytes) == fields->file_name);
    FUZZ_CHECK(Base64Decode(Base64Encode(*name_bytes)) == *name_bytes);
}

void CheckGetFile(std::string_view body) {
    std::string error;
    const auto request = ParseGetFile(body, error);
    if (!request) {
        FUZZ_CHECK(!error.empty());
        const std::string doc = ErrorDocument(error);
        FUZZ_CHECK(IsAscii(doc));
        CheckReferences(doc);
        return;
    }
    FUZZ_CHECK(!request->view_name.empty() && IsValidUtf8(request->view_name));
    FUZZ_CHECK(!request->prim_key.empty() && IsValidUtf8(request->prim_key));
    // What the store writes about a request reads back as the same names.
    const std::string view = XmlAttribute(request->view_name), key = XmlAttribute(request->prim_key);
    FUZZ_CHECK(IsAscii(view) && IsAscii(key));
    CheckReferences(view);
    CheckReferences(key);
    std::string again_error;
    const auto again =
        ParseGetFile("<DataRequest><GetFile ViewName=\"" + view + "\" PrimKey=\"" + key + "\"/></DataRequest>",
                     again_error);
    FUZZ_CHECK(again && again->view_name == Writable(request->view_name) && again->prim_key == Writable(request->prim_key));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    // Head and body as the server splits them: at the first empty line.
    std::size_t cut = raw.find("\r\n\r\n");
    std::size_t skip = 4;
    if (cut == std::string_view::npos) {
        cut = raw.find("\n\n");
        skip = 2;
    }
    const std::string_view head = raw.substr(0, cut);
    const std::string_view body = cut == std::string_view::npos ? std::string_view() : raw.substr(cut + skip);
    CheckHead(head);
    CheckGetFile(body.empty() ? raw : body);

    for (const std::string& text : {Latin1ToUtf8(raw), Cp1252ToUtf8(raw), HeaderValueToUtf8(raw)})
        FUZZ_CHECK(IsValidUtf8(text));
    FUZZ_CHECK(Base64Decode(Base64Encode(raw)) == std::string(raw));
    const std::string json = JsonString(raw);
    FUZZ_CHECK(IsValidUtf8(json));
    for (char c : json) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    (void)IsTimeText(raw.substr(0, 19));
    return 0;
}
