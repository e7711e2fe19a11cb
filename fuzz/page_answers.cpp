// The texts a page hands the control and gets back: upload lists ("path?key" entries joined by "|"), the
// once-mode summary and result records, list splitting, numbers (ParseDecimal, byte counts), keys (IsGuidText)
// and the names a page gives for files it downloads.
#include <algorithm>
#include <climits>
#include <cwchar>
#include <string>
#include <vector>

#include "control/dropped_files.h"
#include "control/page_script.h"
#include "download/download_decision.h"
#include "localfiles/safe_names.h"
#include "fuzz_support.h"
#include "localfiles/file_helpers.h"
#include "support/fake_file_system.h"
#include "upload/upload_operation.h"

namespace {

using namespace qm;

void CheckSplit(const std::wstring& text, wchar_t separator) {
    const auto pieces = SplitText(text, separator);
    FUZZ_CHECK(pieces.size() == static_cast<std::size_t>(std::count(text.begin(), text.end(), separator)) + 1);
    for (const auto& p : pieces) FUZZ_CHECK(p.find(separator) == std::wstring::npos);
    FUZZ_CHECK(JoinText(pieces, separator) == text);
    FUZZ_CHECK(SplitListText(text, separator) == pieces);
}

// The C library's reading of the same number, clamped to 32 bits.
void CheckDecimal(const std::wstring& text) {
    const std::int32_t value = ParseDecimal(text);
    std::size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r'))) ++i;
    std::wstring rest = text.substr(i);
    long long expected = 0;
    if (!rest.empty() && (rest[0] == L'+' || rest[0] == L'-' || (rest[0] >= L'0' && rest[0] <= L'9'))) {
        // A blank after the sign is not skipped by the control; stop the C library from skipping it either.
        if (rest.size() > 1 && (rest[0] == L'+' || rest[0] == L'-') && !(rest[1] >= L'0' && rest[1] <= L'9'))
            rest.clear();
        expected = rest.empty() ? 0 : std::wcstoll(rest.c_str(), nullptr, 10);
        expected = std::clamp<long long>(expected, INT32_MIN, INT32_MAX);
    }
    FUZZ_CHECK(value == expected);
}

// The C library's reading of a byte count, which also saturates.
void CheckByteCount(const std::wstring& text) {
    const std::uint64_t value = ParseByteCount(text);
    std::size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
    if (i < text.size() && text[i] == L'+') ++i;
    std::wstring digits;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) digits += text[i];
    const std::uint64_t expected = digits.empty() ? 0 : std::wcstoull(digits.c_str(), nullptr, 10);
    FUZZ_CHECK(value == expected);
}

void CheckSafeName(const std::wstring& name) {
    const std::wstring safe = SafeComponent(name);
    FUZZ_CHECK(!safe.empty() && safe != L"." && safe != L"..");
    FUZZ_CHECK(safe.find_first_of(L"\\/:*?\"<>|") == std::wstring::npos);
    for (wchar_t c : safe) FUZZ_CHECK(c >= 0x20 && c != 0x7F);
    FUZZ_CHECK(safe.front() != L' ' && safe.back() != L' ' && safe.back() != L'.');
    FUZZ_CHECK(IsSafeComponent(safe));
    FUZZ_CHECK(IsSafeComponent(name) == (safe == name));
}

void CheckGuid(const std::wstring& text) {
    const bool shape = text.size() == 36 && std::count(text.begin(), text.end(), L'-') == 4 && text[8] == L'-' &&
                       text[13] == L'-' && text[18] == L'-' && text[23] == L'-';
    FUZZ_CHECK(IsGuidText(text) == shape);
}

bool Plain(const std::wstring& s) { return s.find_first_of(L"?|") == std::wstring::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto f = fuzz::Fields(data, size, 4);
    const std::wstring list = fuzz::Wide(f[0]);
    const std::wstring key = fuzz::Wide(f[1]), name = fuzz::Wide(f[2]), dates = fuzz::Wide(f[3]);

    for (wchar_t separator : {L'|', L'?', L';', L'-', L'\\'}) CheckSplit(list, separator);
    for (const auto& s : {list, key, name, dates}) {
        CheckDecimal(s);
        CheckGuid(s);
        CheckByteCount(s);
        CheckSafeName(s);
    }
    (void)IsTrueText(key);

    // The upload list: what is kept are whole entries, in order, whose path is one of the operation's files.
    std::vector<std::wstring> files = SplitText(name, L';');
    const auto kept = KeepOperationFiles(list, files);
    const auto entries = SplitText(list, L'|');
    std::size_t from = 0;
    for (const auto& entry : kept) {
        FUZZ_CHECK(!entry.empty());
        const auto at = std::find(entries.begin() + from, entries.end(), entry);
        FUZZ_CHECK(at != entries.end());
        from = static_cast<std::size_t>(at - entries.begin()) + 1;
        const std::wstring path = entry.substr(0, entry.find(L'?'));
        FUZZ_CHECK(std::any_of(files.begin(), files.end(),
                               [&](const std::wstring& file) { return !file.empty() && EqualsNoCase(file, path); }));
    }

    // Files named in the list, so the summary and the listed sizes have something to find. The stand-in file
    // system matches wildcards by backtracking and reads names up to a NUL: such paths stay out of it.
    testing::FakeFileSystem fs;
    std::uint32_t number = 0;
    std::vector<std::wstring> paths;
    for (const auto& entry : entries) {
        const std::wstring path = entry.substr(0, entry.find(L'?'));
        if (path.empty() || path.find_first_of(std::wstring(L"*\0", 2)) != std::wstring::npos) continue;
        if (paths.size() == 64) break;
        paths.push_back(path);
        fs.AddFile(path, number++ * 977u);
    }
    const std::wstring summary = BuildFileListText(fs, paths);
    if (list.find_first_of(std::wstring(L"*\0", 2)) == std::wstring::npos) (void)SumListedSizes(fs, list);
    // The page reads the summary back record by record when names and paths hold no separator.
    if (!summary.empty() && std::all_of(paths.begin(), paths.end(), Plain)) {
        const auto records = SplitText(summary, L'|');
        FUZZ_CHECK(records.size() == paths.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            const auto fields = SplitText(records[i], L'?');
            FUZZ_CHECK(fields.size() == 5 && fields[1] == paths[i]);
        }
    }

    // One once-mode result record: seven fields, read back as given when none holds a separator.
    const FileDates fileDates{dates, dates};
    const std::wstring record = UploadResultRecord(key, list, name, number, fileDates);
    if (Plain(key) && Plain(list) && Plain(name) && Plain(dates)) {
        const auto fields = SplitText(record, L'?');
        FUZZ_CHECK(fields.size() == 7);
        FUZZ_CHECK(fields[0] == key && fields[1] == list && fields[2] == name && fields[4] == L"false");
        FUZZ_CHECK(ParseDecimal(fields[3]) == static_cast<std::int32_t>(number) || number > INT32_MAX);
        FUZZ_CHECK(fields[5] == dates && fields[6] == dates);
    }
    return 0;
}
