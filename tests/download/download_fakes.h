#pragma once
// Stand-ins for the download side's ports: a page of elements, page functions, dialogs, files that arrive
// through a temporary file, the shell, the File Download dialog, the progress dialog and an HTTP server.
#include <functional>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/errors.h"
#include "control/page.h"
#include "control/page_script.h"
#include "download/download_operation.h"
#include "download/download_ports.h"
#include "download/download_worker.h"
#include "support/fake_code_page.h"
#include "support/fake_file_system.h"
#include "support/fake_http_client.h"
#include "support/fake_questions.h"
#include "support/fake_settings_store.h"
#include "support/fake_system_text.h"
#include "support/fake_xml_document.h"
#include "ui/dialogs.h"
#include "ui/progress_dialog.h"

namespace qm::testing {

class FakeElement : public PageElement {
public:
    std::map<std::wstring, std::wstring> attributes;
    std::optional<std::wstring> TextAttribute(const std::wstring& name) override {
        auto it = attributes.find(name);
        if (it == attributes.end()) return std::nullopt;
        return it->second;
    }
};

class FakePage : public PageElements {
public:
    std::map<std::wstring, std::map<std::wstring, std::wstring>> elements;
    std::vector<std::wstring> lookups;
    std::unique_ptr<PageElement> FindElement(const std::wstring& id) override {
        lookups.push_back(id);
        auto it = elements.find(id);
        if (it == elements.end()) return nullptr;
        auto e = std::make_unique<FakeElement>();
        e->attributes = it->second;
        return e;
    }
};

class RecordingScripts : public PageScripts {
public:
    struct Call {
        std::wstring name;
        std::vector<std::wstring> arguments;
    };
    std::vector<Call> calls;
    std::map<std::wstring, ScriptValue> answers;  // by function name; absent names cannot be called
    std::optional<ScriptValue> CallPageFunction(const std::wstring& name, const std::vector<std::wstring>& args) override {
        calls.push_back({name, args});
        auto it = answers.find(name);
        if (name.empty() || it == answers.end()) return std::nullopt;
        return it->second;
    }
};

class ScriptedDialogs : public UserDialogs {
public:
    struct Shown {
        WindowRef owner;
        MessageKind kind;
        std::wstring text;
    };
    std::vector<Shown> messages;
    std::vector<std::wstring> questions;
    std::vector<WindowRef> questionOwners;
    std::deque<Answer> answers;  // No when empty
    std::optional<std::wstring> folder;
    std::vector<std::wstring> folderTitles;
    std::optional<std::wstring> savePath;  // nothing: the save chooser is cancelled
    std::vector<FileDialogRequest> fileDialogs;
    std::vector<std::wstring> initialNames;

    void Message(WindowRef owner, MessageKind kind, const std::wstring& text) override {
        messages.push_back({owner, kind, text});
    }
    Answer Ask(WindowRef owner, const std::wstring& text, bool) override {
        questions.push_back(text);
        questionOwners.push_back(owner);
        if (answers.empty()) return Answer::No;
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<std::wstring> ChooseFolder(WindowRef, const std::wstring& title) override {
        folderTitles.push_back(title);
        return folder;
    }
    bool RunFileDialog(const FileDialogRequest& request, std::vector<wchar_t>& buffer) override {
        fileDialogs.push_back(request);
        initialNames.emplace_back(buffer.data());
        if (!savePath) return false;
        std::fill(buffer.begin(), buffer.end(), L'\0');
        std::copy(savePath->begin(), savePath->end(), buffer.begin());
        return true;
    }
    std::vector<std::wstring> MessageTexts() const {
        std::vector<std::wstring> t;
        for (const auto& m : messages) t.push_back(m.text);
        return t;
    }
};

// Files on a pretend disk. Begin makes a temporary file beside the target; Commit replaces the target.
class FakeIncomingFiles : public IncomingFiles {
public:
    std::map<std::wstring, std::string> disk;     // committed files by path
    std::set<std::wstring> temporaries;           // temporary files that still exist
    std::set<std::wstring> failBegin;             // targets whose folder refuses a temporary file
    std::set<std::wstring> failCommit;            // targets that are held open by another program
    std::optional<std::uint64_t> writeLimit;      // a write beyond this many bytes of one file fails
    std::vector<std::wstring> sources;
    std::vector<std::wstring> begun;
    std::uint64_t mostWritten = 0;                // the most bytes one temporary file ever held
    int made = 0;

    class File : public IncomingFile {
    public:
        File(FakeIncomingFiles& owner, std::wstring target, std::wstring temp)
            : owner_(owner), target_(std::move(target)), temp_(std::move(temp)) {}
        ~File() override { owner_.temporaries.erase(temp_); }
        void Write(const void* data, std::size_t size) override {
            if (owner_.writeLimit && bytes_.size() + size > *owner_.writeLimit)
                throw FileError(112, L"There is not enough space on the disk.");
            bytes_.append(static_cast<const char*>(data), size);
            owner_.mostWritten = std::max<std::uint64_t>(owner_.mostWritten, bytes_.size());
        }
        void Commit() override {
            if (owner_.failCommit.count(target_))
                throw FileError(32, L"The process cannot access the file because it is being used by another process.");
            owner_.disk[target_] = bytes_;
            owner_.temporaries.erase(temp_);
        }

    private:
        FakeIncomingFiles& owner_;
        std::wstring target_, temp_;
        std::string bytes_;
    };

    std::unique_ptr<IncomingFile> Begin(const std::wstring& target, const std::wstring& source) override {
        begun.push_back(target);
        sources.push_back(source);
        if (failBegin.count(target)) throw FileError(5, L"Access is denied.");
        std::wstring temp = target + L".~" + std::to_wstring(++made);
        temporaries.insert(temp);
        return std::make_unique<File>(*this, target, temp);
    }
    std::wstring ShortPath(const std::wstring& path) override { return path; }
    bool Exists(const std::wstring& path) override { return disk.count(path) != 0; }
};

class FakeShell : public DownloadShell {
public:
    std::vector<std::wstring> opened;
    std::vector<std::wstring> risks;
    std::deque<bool> confirmations;  // No when empty
    std::set<std::wstring> dangerousExtensions = {L".exe", L".js", L".lnk", L".msi", L".bat"};

    void Open(const std::wstring& path) override { opened.push_back(path); }
    bool IsDangerous(const std::wstring& path) override {
        const std::size_t dot = path.rfind(L'.');
        return dot != std::wstring::npos && dangerousExtensions.count(path.substr(dot)) != 0;
    }
    bool ConfirmRisk(WindowRef, const std::wstring& text) override {
        risks.push_back(text);
        if (confirmations.empty()) return false;
        bool a = confirmations.front();
        confirmations.pop_front();
        return a;
    }
};

class FakePrompt : public FileDownloadPrompt {
public:
    int answer = kActionDialogCancelled;
    std::vector<FileDownloadValues> shown;
    int Run(WindowRef, const FileDownloadValues& values) override {
        shown.push_back(values);
        return answer;
    }
};

// A progress dialog that records what a worker does to it.
class RecordingProgress : public ProgressDialog {
public:
    std::vector<std::wstring> statuses;
    int steps = 0;
    std::optional<int> ended;
    bool openButtonsEnabled = false;
    bool closeWhenDone = true;
    int progressReports = 0;
    // Sets Cancelled once this many steps have been sent.
    std::optional<int> cancelAtStep;
    // Sets Cancelled when this status is shown.
    std::optional<std::wstring> cancelAtStatus;
    int commitsBegun = 0, commitsEnded = 0;

    void SetStatus(const std::wstring& text) override {
        statuses.push_back(text);
        if (cancelAtStatus && text == *cancelAtStatus) Job().Cancelled = true;
    }
    bool BeginCommit() override {
        ++commitsBegun;
        return ProgressDialog::BeginCommit();
    }
    void EndCommit() override { ++commitsEnded; }
    void StepIt() override {
        ++steps;
        if (cancelAtStep && steps >= *cancelAtStep) Job().Cancelled = true;
    }
    void SetRange(std::uint32_t) override {}
    void SetCaption(const std::wstring&) override {}
    void SetTimeLeft(const std::wstring&) override {}
    void SetRate(const std::wstring&) override {}
    void SetPath(const std::wstring&) override {}
    bool CloseWhenDoneChecked() override { return closeWhenDone; }
    void EnableOpenButtons() override { openButtonsEnabled = true; }
    void RequestScript(const std::wstring&) override {}
    void End(int code) override {
        if (!ended) ended = code;
    }
    bool WindowExists() const override { return true; }
    void* OwnerWindow() const override { return window; }
    void* window = nullptr;  // the dialog's window, once it exists

protected:
    void WriteProgressField(ProgressField field, const std::wstring& text) override {
        ++progressReports;
        if (field == ProgressField::Rate) rate = text;
    }

public:
    std::wstring rate;  // the last rate text written
    void Flush() { FlushProgressTexts(); }
};

// A request whose reply can be cut off: after cutAfter bytes the read throws the client's error.
class ServedRequest : public FakeHttpRequest {
public:
    std::optional<std::size_t> cutAfter;
    std::uint32_t cutCode = 12030;
    std::optional<std::uint32_t> sendError;  // EndRequest throws this code once
    // Called with the body position before and after every read: what the user does meanwhile.
    std::function<void(std::size_t)> beforeRead, afterRead;
    std::size_t Read(void* buffer, std::size_t size) override {
        if (beforeRead) beforeRead(readPosition);
        if (cutAfter && readPosition >= *cutAfter) throw InternetError(cutCode, L"The connection with the server was terminated abnormally");
        if (cutAfter) size = std::min(size, *cutAfter - readPosition);
        const std::size_t n = FakeHttpRequest::Read(buffer, size);
        if (afterRead) afterRead(readPosition);
        return n;
    }
    void EndRequest() override {
        FakeHttpRequest::EndRequest();
        if (sendError) {
            const std::uint32_t code = *sendError;
            sendError.reset();
            throw InternetError(code, L"A connection with the server could not be established");
        }
    }
};

// Replies handed out in order, one per opened request; the test keeps a view of each.
class FakeServer : public HttpClient {
public:
    std::deque<std::shared_ptr<ServedRequest>> replies;
    std::vector<std::shared_ptr<ServedRequest>> opened;
    int sessions = 0, connections = 0;
    std::vector<std::pair<std::wstring, std::uint16_t>> connectedTo;
    std::optional<std::uint32_t> connectError;

    std::shared_ptr<ServedRequest> AddFile(const std::string& bytes, const std::wstring& type = L"binary/octet-stream") {
        auto r = std::make_shared<ServedRequest>();
        r->contentType = type;
        r->SetReply(bytes);
        replies.push_back(r);
        return r;
    }

    class Proxy : public HttpRequest {
    public:
        explicit Proxy(std::shared_ptr<ServedRequest> r) : r_(std::move(r)) {}
        void AddRequestHeaders(const std::wstring& h) override { r_->AddRequestHeaders(h); }
        void BeginRequest(std::uint32_t n) override { r_->BeginRequest(n); }
        void Write(const void* d, std::size_t n) override { r_->Write(d, n); }
        void EndRequest() override { r_->EndRequest(); }
        std::wstring QueryContentType() override { return r_->QueryContentType(); }
        std::optional<std::wstring> QueryContentDescription() override { return r_->QueryContentDescription(); }
        std::uint32_t QueryStatusCode() override { return r_->QueryStatusCode(); }
        std::uint32_t QueryDataAvailable() override { return r_->QueryDataAvailable(); }
        std::size_t Read(void* b, std::size_t n) override { return r_->Read(b, n); }

    private:
        std::shared_ptr<ServedRequest> r_;
    };
    class Connection : public HttpConnection {
    public:
        explicit Connection(FakeServer& s) : s_(s) {}
        std::unique_ptr<HttpRequest> OpenFileStoreRequest(std::uint32_t) override {
            if (s_.replies.empty()) throw InternetError(12002, L"The operation timed out");
            auto r = s_.replies.front();
            s_.replies.pop_front();
            s_.opened.push_back(r);
            return std::make_unique<Proxy>(r);
        }

    private:
        FakeServer& s_;
    };
    class Session : public HttpSession {
    public:
        explicit Session(FakeServer& s) : s_(s) {}
        std::unique_ptr<HttpConnection> Connect(const std::wstring& name, std::uint16_t port) override {
            if (s_.connectError) throw InternetError(*s_.connectError, L"A connection with the server could not be established");
            ++s_.connections;
            s_.connectedTo.emplace_back(name, port);
            return std::make_unique<Connection>(s_);
        }

    private:
        FakeServer& s_;
    };
    std::unique_ptr<HttpSession> OpenSession() override {
        ++sessions;
        return std::make_unique<Session>(*this);
    }
};

// Worker services over the fakes above, with a clock that advances a second per reading.
struct WorkerRig {
    FakeServer server;
    FakeIncomingFiles files;
    ScriptedDialogs dialogs;
    Latin1CodePage codePage;
    double clock = 0;
    WorkerServices services{server, files, dialogs, codePage, [] { return std::make_unique<FakeXmlDocument>(); },
                            [this] { return clock += 1.0 / 86400.0; }};
};

// n bytes of a repeating pattern.
inline std::string Bytes(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
    return s;
}

}  // namespace qm::testing
