// The header block that describes a posted file, built from hostile names, keys and views, and read back by
// the file store's own parser.
#include <stdexcept>
#include <string>

#include "fuzz_support.h"
#include "protocol/protocol_document.h"
#include "protocol/upload_header.h"
#include "support/fake_code_page.h"
#include "wire.h"

namespace {

using namespace qm;

// A multi-byte code page: characters take one to four bytes, as in the Asian ANSI code pages.
class MultiByteCodePage : public CodePage {
public:
    using CodePage::FromAnsi;
    std::string ToAnsi(const std::wstring& text) const override { return fuzz::Utf8(text); }
    std::wstring FromAnsi(const char* bytes, std::size_t size) const override {
        return fuzz::Wide(std::string_view(bytes, size));
    }
};

// A conversion that fails outright for some texts.
class FailingCodePage : public testing::Latin1CodePage {
public:
    std::string ToAnsi(const std::wstring& text) const override {
        if (text.find(L'\x7F') != std::wstring::npos) throw std::runtime_error("no conversion");
        return Latin1CodePage::ToAnsi(text);
    }
};

std::string TrimBlanks(std::string s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.erase(0, 1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.pop_back();
    return s;
}

// wire: the conversion the block goes through to reach the server (the failing page's own one cannot).
void Check(const UploadHeaderFields& fields, const CodePage& codePage, const CodePage& wire, bool mayFail) {
    const std::wstring& view = fields.UploadViewName.empty() ? fields.ViewName : fields.UploadViewName;
    std::string ansiName;
    try {
        ansiName = codePage.ToAnsi(fields.FileName);
    } catch (const std::exception&) {
        FUZZ_CHECK(mayFail);
    }
    const bool breaks = fields.PrimKey.find_first_of(std::wstring(L"\r\n\0", 3)) != std::wstring::npos ||
                        view.find_first_of(std::wstring(L"\r\n\0", 3)) != std::wstring::npos;

    ProtocolDocument document(nullptr, codePage);
    std::wstring block;
    try {
        block = document.BuildUploadHeader(fields);
    } catch (const UploadHeaderError& e) {
        // Refused only for a line break, a name longer than the field, or a conversion that failed.
        FUZZ_CHECK(breaks || ansiName.size() > kMaxFileNameBytes || mayFail);
        FUZZ_CHECK(!e.text().empty());
        return;
    }
    FUZZ_CHECK(!breaks && ansiName.size() <= kMaxFileNameBytes);

    // Six CR LF ended lines, and the encoded name never longer than the server's field.
    std::size_t lines = 0;
    for (std::size_t at = block.find(L"\r\n"); at != std::wstring::npos; at = block.find(L"\r\n", at + 2)) ++lines;
    FUZZ_CHECK(lines == 6 && block.size() >= 2 && block.compare(block.size() - 2, 2, L"\r\n") == 0);
    FUZZ_CHECK(block.rfind(L"Content-Type: velmar/postedfile\r\n", 0) == 0);
    const std::wstring encoded = EncodeUploadFileName(fields.FileName, codePage);
    FUZZ_CHECK(encoded.size() <= kMaxEncodedFileName);

    // On the wire the block is in the code page; the server reads the same fields back.
    const std::string request = "POST /system/filestore/data.aspx HTTP/1.1\r\n" + wire.ToAnsi(block) + "\r\n";
    const filestore::RequestHead head = filestore::ParseRequestHead(request);
    FUZZ_CHECK(head.fields.size() == 6);
    const auto value = [&](const char* name) {
        const filestore::HeaderField* f = filestore::FindField(head, name);
        FUZZ_CHECK(f != nullptr);
        return f->value;
    };
    FUZZ_CHECK(value("vm_PrimKey") == TrimBlanks(wire.ToAnsi(fields.PrimKey)));
    FUZZ_CHECK(value("vm_ViewName") == TrimBlanks(wire.ToAnsi(view)));
    FUZZ_CHECK(filestore::Base64Decode(value("vm_FileName")) == ansiName);
    FUZZ_CHECK(filestore::ParseInt32(value("vm_FileSize")) == static_cast<std::int32_t>(fields.FileSize));
    FUZZ_CHECK(filestore::ParseInt32(value("vm_FileCRC")) == static_cast<std::int32_t>(fields.FileCrc));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto f = fuzz::Fields(data, size, 6);
    UploadHeaderFields fields{fuzz::Wide(f[0]), fuzz::Wide(f[1]),   fuzz::Wide(f[2]),
                              fuzz::Wide(f[3]), fuzz::Number(f[4]), fuzz::Number(f[5])};
    const testing::Latin1CodePage latin1;
    const MultiByteCodePage multiByte;
    Check(fields, latin1, latin1, false);
    Check(fields, multiByte, multiByte, false);
    Check(fields, FailingCodePage(), latin1, true);
    return 0;
}
