#include "localfiles/edit_journal.h"

#include <algorithm>
#include <cwchar>

#include "common/crc32.h"
#include "localfiles/file_helpers.h"

namespace qm {

namespace {

constexpr wchar_t kVersionLine[] = L"Quillmark edited copies 1";
constexpr std::size_t kFields = 17;

// Tabs, line ends and backslashes in a field would split it; they are written as \t, \n, \r and \\.
std::wstring Escape(const std::wstring& text) {
    std::wstring out;
    for (const wchar_t c : text) {
        switch (c) {
            case L'\\': out += L"\\\\"; break;
            case L'\t': out += L"\\t"; break;
            case L'\n': out += L"\\n"; break;
            case L'\r': out += L"\\r"; break;
            default: out += c;
        }
    }
    return out;
}

std::optional<std::wstring> Unescape(const std::wstring& text) {
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) return std::nullopt;
        switch (text[i]) {
            case L'\\': out += L'\\'; break;
            case L't': out += L'\t'; break;
            case L'n': out += L'\n'; break;
            case L'r': out += L'\r'; break;
            default: return std::nullopt;
        }
    }
    return out;
}

std::optional<std::uint64_t> Number(const std::wstring& text) {
    if (text.empty() || text.size() > 20) return std::nullopt;
    std::uint64_t value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - L'0');
        if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::uint32_t CheckValue(const std::wstring& text) {
    return Crc32Bytes(text.data(), text.size() * sizeof(wchar_t));
}

std::wstring Hex(std::uint32_t value) {
    wchar_t buffer[9];
    std::swprintf(buffer, 9, L"%08x", static_cast<unsigned>(value));
    return buffer;
}

bool SameRecordOrFile(const TrackedFile& a, const JournalEntry& b) {
    return (EqualsNoCase(a.ViewName, b.ViewName) && EqualsNoCase(a.PrimKey, b.PrimKey)) ||
           EqualsNoCase(CanonicalPathText(a.LocalPath), CanonicalPathText(b.LocalPath));
}

}  // namespace

std::wstring WriteJournal(const std::vector<JournalEntry>& entries) {
    std::wstring body = std::wstring(kVersionLine) + L"\n";
    for (const JournalEntry& e : entries) {
        const std::wstring fields[kFields] = {Escape(e.Server),
                                              Escape(e.ViewName),
                                              Escape(e.PrimKey),
                                              Escape(e.UploadViewName),
                                              Escape(e.FileName),
                                              Escape(e.LocalPath),
                                              Escape(e.ElementId),
                                              Escape(e.BeforeUploadScript),
                                              Escape(e.AfterUploadScript),
                                              std::to_wstring(e.LastWriteTime),
                                              std::to_wstring(e.WrittenTime),
                                              std::to_wstring(e.ServerUpdated),
                                              e.Identity ? L"1" : L"0",
                                              std::to_wstring(e.Identity ? e.Identity->volume : 0),
                                              std::to_wstring(e.Identity ? e.Identity->index : 0),
                                              std::to_wstring(e.Made),
                                              L"."};
        for (std::size_t i = 0; i < kFields; ++i) body += (i ? L"\t" : L"") + fields[i];
        body += L"\n";
    }
    return body + L"end " + std::to_wstring(entries.size()) + L" " + Hex(CheckValue(body)) + L"\n";
}

std::optional<std::vector<JournalEntry>> ReadJournal(const std::wstring& text) {
    // The closing line covers everything before it.
    if (text.empty() || text.back() != L'\n') return std::nullopt;
    const std::size_t closing = text.rfind(L'\n', text.size() - 2);
    if (closing == std::wstring::npos) return std::nullopt;
    const std::wstring body = text.substr(0, closing + 1);
    const std::vector<std::wstring> end = SplitText(text.substr(closing + 1, text.size() - closing - 2), L' ');
    if (end.size() != 3 || end[0] != L"end" || end[2] != Hex(CheckValue(body))) return std::nullopt;
    std::vector<std::wstring> lines = SplitText(body.substr(0, body.size() - 1), L'\n');
    if (lines.empty() || lines[0] != kVersionLine) return std::nullopt;
    const auto count = Number(end[1]);
    if (!count || *count != lines.size() - 1) return std::nullopt;
    std::vector<JournalEntry> entries;
    for (std::size_t n = 1; n < lines.size(); ++n) {
        const std::vector<std::wstring> f = SplitText(lines[n], L'\t');
        if (f.size() != kFields || f[kFields - 1] != L".") return std::nullopt;
        JournalEntry e;
        std::wstring* texts[] = {&e.Server,    &e.ViewName,  &e.PrimKey,           &e.UploadViewName,
                                 &e.FileName,  &e.LocalPath, &e.ElementId,         &e.BeforeUploadScript,
                                 &e.AfterUploadScript};
        for (std::size_t i = 0; i < 9; ++i) {
            const auto value = Unescape(f[i]);
            if (!value) return std::nullopt;
            *texts[i] = *value;
        }
        const auto last = Number(f[9]), written = Number(f[10]), updated = Number(f[11]), volume = Number(f[13]),
                   index = Number(f[14]), made = Number(f[15]);
        if (!last || !written || !updated || !volume || !index || !made || *volume > UINT32_MAX ||
            (f[12] != L"0" && f[12] != L"1"))
            return std::nullopt;
        e.LastWriteTime = *last;
        e.WrittenTime = *written;
        e.ServerUpdated = *updated;
        e.Made = *made;
        if (f[12] == L"1") e.Identity = FileIdentity{static_cast<std::uint32_t>(*volume), *index};
        entries.push_back(std::move(e));
    }
    return entries;
}

std::wstring ServerKey(bool secure, const std::wstring& host, std::uint16_t port) {
    std::wstring lower = host;
    for (auto& c : lower)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return (secure ? L"https://" : L"http://") + lower + L":" + std::to_wstring(port);
}

void LoadEditedCopies(TrackedFileList& list, JournalFile& journal, FileSystem& fs, const std::wstring& server,
                      FileTime now) {
    const auto text = journal.Read();
    if (!text) return;
    const auto entries = ReadJournal(*text);
    if (!entries) return;
    for (const JournalEntry& e : *entries) {
        if (e.Server != server || e.LocalPath.empty()) continue;
        // A copy deleted since has nothing left to send.
        if (fs.QueryPath(e.LocalPath) != PathQuery::Exists) continue;
        const bool known = std::any_of(list.Items().begin(), list.Items().end(),
                                       [&](const auto& mine) { return SameRecordOrFile(*mine, e); });
        if (known) continue;
        auto entry = std::make_unique<TrackedFile>();
        entry->FileName = e.FileName;
        entry->LocalPath = e.LocalPath;
        entry->PrimKey = e.PrimKey;
        entry->ViewName = e.ViewName;
        entry->UploadViewName = e.UploadViewName;
        entry->LastWriteTime = e.LastWriteTime;
        entry->Identity = e.Identity;
        entry->State = TrackedState::Waiting;
        entry->BeforeUploadScript = e.BeforeUploadScript;
        entry->AfterUploadScript = e.AfterUploadScript;
        entry->ElementId = e.ElementId;
        entry->Made = e.Made;
        entry->Stale = e.Made != 0 && now > e.Made && now - e.Made > kJournalKeepTime;
        // Older entries go behind the list's own.
        list.Items().push_back(std::move(entry));
        list.AddEarlierCopy({e.LocalPath, e.Identity, e.WrittenTime, {e.ViewName, e.PrimKey, e.ServerUpdated}});
    }
}

bool SaveEditedCopies(TrackedFileList& list, JournalFile& journal, FileSystem& fs, const std::wstring& server,
                      FileTime now) {
    // Another control object (another page of the server) may have added entries since: those stay, unless this
    // list has the same record or file now, sent it, or the copy is gone.
    std::vector<JournalEntry> kept;
    const auto text = journal.Read();
    if (text) {
        if (auto entries = ReadJournal(*text)) {
            for (auto& e : *entries) {
                if (e.Server == server) {
                    if (list.WasSent(e.LocalPath)) continue;
                    const bool replaced = std::any_of(list.Items().begin(), list.Items().end(),
                                                      [&](const auto& mine) { return SameRecordOrFile(*mine, e); });
                    if (replaced) continue;
                }
                if (fs.QueryPath(e.LocalPath) != PathQuery::Exists) continue;
                kept.push_back(std::move(e));
            }
        }
    }
    std::vector<JournalEntry> mine;
    for (const auto& entry : list.Items()) {
        if (entry->State == TrackedState::Sent) continue;
        if (entry->Made == 0) entry->Made = now;
        JournalEntry e;
        e.Server = server;
        e.ViewName = entry->ViewName;
        e.PrimKey = entry->PrimKey;
        e.UploadViewName = entry->UploadViewName;
        e.FileName = entry->FileName;
        e.LocalPath = entry->LocalPath;
        e.ElementId = entry->ElementId;
        e.BeforeUploadScript = entry->BeforeUploadScript;
        e.AfterUploadScript = entry->AfterUploadScript;
        e.LastWriteTime = entry->LastWriteTime;
        e.Identity = entry->Identity;
        e.Made = entry->Made;
        if (const auto* copy = list.OwnCopyAt(entry->LocalPath)) {
            e.WrittenTime = copy->written.value_or(0);
            e.ServerUpdated = copy->origin.ServerUpdated;
        } else {
            e.WrittenTime = entry->LastWriteTime;
        }
        mine.push_back(std::move(e));
    }
    // Newest first across servers is not known; this server's, just used, are kept before older servers' ones.
    std::vector<JournalEntry> all = std::move(mine);
    for (auto& e : kept) all.push_back(std::move(e));
    if (all.size() > kMostJournalEntries) all.resize(kMostJournalEntries);
    // Written only when it changes: most operations track nothing, and the disk need not hear of them.
    const std::wstring fresh = WriteJournal(all);
    if (text ? *text == fresh : all.empty()) return true;
    return journal.Replace(fresh);
}

std::wstring EditedCopiesText(const TrackedFileList& list, FileSystem& fs, SystemText& system) {
    const auto two = [](int v) { return (v < 10 ? L"0" : L"") + std::to_wstring(v); };
    std::wstring text;
    for (const auto& entry : list.Items()) {
        if (entry->State == TrackedState::Sent || !list.UnsentEdits(entry->LocalPath, fs)) continue;
        const std::optional<FileTime> written = GetLastWriteTime(fs, entry->LocalPath);
        if (!written) continue;
        const CalendarTime t = system.LocalCalendar(*written);
        if (!text.empty()) text += L"|";
        text += entry->ElementId + L"?" + entry->ViewName + L"?" + entry->PrimKey + L"?" + entry->FileName + L"?" +
                std::to_wstring(t.year) + L"-" + two(t.month) + L"-" + two(t.day) + L" " + two(t.hour) + L":" +
                two(t.minute) + L":" + two(t.second);
    }
    return text;
}

}  // namespace qm
