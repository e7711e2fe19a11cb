#include "upload/upload_worker.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "common/errors.h"
#include "control/page_script.h"
#include "localfiles/file_helpers.h"
#include "protocol/file_store_client.h"
#include "protocol/protocol_document.h"
#include "protocol/reply_rules.h"

namespace qm {
namespace {

// Thrown inside the job to stop it where the job ends normally (a cancel, a file that vanished).
struct StopJob {};

std::wstring TextOf(const std::exception& e) {
    std::wstring text;
    for (const char* p = e.what(); *p; ++p) text.push_back(static_cast<unsigned char>(*p));
    return CutErrorText(text.empty() ? std::wstring(kUnknownErrorText) : text);
}

class UploadJob {
public:
    UploadJob(ProgressDialog& dialog, UploadWorkerServices& services)
        : dialog_(dialog),
          job_(dialog.Job()),
          services_(services),
          document_(services.makeDom ? services.makeDom() : nullptr, services.codePage),
          reupload_(job_.Mode == TransferMode::ReUpload) {}

    void Run() {
        auto session = services_.http.OpenSession();
        WaitForWindow();
        StopIfCancelled();
        dialog_.SetStatus(kOpeningConnectionText);
        connection_ = session->Connect(job_.ServerName, job_.ServerPort);
        StopIfCancelled();
        dialog_.SetCaption(kSaveToServerCaption);
        StopIfCancelled();
        if (job_.Mode == TransferMode::Upload)
            UploadAll();
        else if (reupload_)
            ReUpload();
    }

private:
    WindowRef Owner() const { return reinterpret_cast<WindowRef>(dialog_.OwnerWindow()); }
    void StopIfCancelled() const {
        if (job_.Cancelled) throw StopJob{};
    }

    // Until the dialog window exists, at most a second: texts and boxes sent before it would have no window.
    void WaitForWindow() {
        for (unsigned waited = 0; waited < kWindowWaitMs && !dialog_.WindowExists() && !job_.Cancelled; waited += 10)
            services_.pause(10);
    }

    void PauseBeforeAskingAgain() {
        for (unsigned waited = 0; waited < kKeyRetryPauseMs && !job_.Cancelled; waited += 50) services_.pause(50);
    }

    void UploadAll() {
        start_ = services_.nowDays();
        const std::wstring scriptResultAtStart = job_.ScriptResult;
        // A copy: the list is the starting operation's and may not be changed while the worker reads it.
        const std::vector<std::wstring> entries = job_.FileList ? *job_.FileList : std::vector<std::wstring>();
        for (const std::wstring& entry : entries) {
            if (job_.Cancelled) break;
            if (entry.empty()) continue;
            std::wstring path = entry;
            if (job_.ExecuteScriptOnce) {
                const std::vector<std::wstring> parts = SplitText(entry, L'?');
                path = parts[0];
                job_.CurrentPrimKey = parts.size() > 1 ? parts[1] : std::wstring();
            }
            if (IsFileInUse(services_.fs, path)) {
                std::wstring text = SystemErrorText(services_.system, kSharingViolationCode);
                if (text.empty())
                    text = L"The process cannot access the file because it is being used by another process.";
                throw FileError(kSharingViolationCode, text + L" " + path);
            }
            FileDescriptor work;
            if (!DescribeFile(services_.fs, path, work)) throw StopJob{};
            job_.Descriptor = work;
            job_.ScriptResult = scriptResultAtStart;
            if (!job_.ExecuteScriptOnce) AskForKey();
            StopIfCancelled();
            const std::wstring key = job_.CurrentPrimKey;
            if (EqualsNoCase(key, L"-1")) continue;
            if (key.size() != 36 || !IsGuidText(key)) {
                ShowError(services_.dialogs, Owner(), key);
                continue;
            }
            work.PrimKey = key;
            work.RecordKey = key;
            work.ViewName = job_.ViewName;
            work.BeforeUploadScript = job_.BeforeUploadScript;
            work.AfterUploadScript = job_.AfterUploadScript;
            work.ElementId = job_.ElementId;
            work.IsUpdate = 0;
            work.FileNameUtf8 = job_.FileNameUtf8;
            SendOne(work, path, key);
        }
    }

    void AskForKey() {
        // A key left from the previous file must never be taken for this one's.
        job_.CurrentPrimKey.clear();
        bool first = true;
        do {
            if (!first) PauseBeforeAskingAgain();
            first = false;
            if (job_.Cancelled) break;
            dialog_.RequestScript(kGetPrimKeyRequest);
        } while (job_.CurrentPrimKey.empty() && !job_.Cancelled);
    }

    void ShowDestination(const std::wstring& destination) {
        StopIfCancelled();
        dialog_.SetCaption(destination);
        StopIfCancelled();
        dialog_.SetStatus(destination);
    }

    // Sends one file of the upload loop; transfer errors of this file are shown and the loop goes on.
    void SendOne(FileDescriptor& work, const std::wstring& path, const std::wstring& key) {
        const std::wstring destination = work.FileName + L" to " + job_.ServerName;
        ShowDestination(destination);
        try {
            auto request = connection_->OpenFileStoreRequest(job_.RequestFlags);
            StopIfCancelled();
            std::wstring header;
            try {
                header = document_.BuildUploadHeader(work);
            } catch (const UploadHeaderError& e) {
                ShowError(services_.dialogs, Owner(), HeaderRefusedText(work.FileName, e.text()));
                return;
            }
            if (!Send(*request, header, work, destination)) return;
            const ReplyDecision decision = Respond(*request);
            if (decision.stored) {
                if (job_.ExecuteScriptOnce) {
                    if (auto dates = FileDatesText(services_.fs, path)) {
                        if (!job_.ResultList.empty()) job_.ResultList += L"|";
                        job_.ResultList +=
                            UploadResultRecord(key, decision.fileRef, work.FileName, work.FileSize, *dates);
                    }
                } else {
                    work.FileRef = decision.fileRef;
                    work.ElementId = job_.ElementId;
                    work.IsUpdate = 0;
                    job_.Succeeded = true;
                    job_.Descriptor = work;
                    if (!job_.Cancelled) dialog_.RequestScript(kSaveFileInfoRequest);
                }
            } else {
                job_.Succeeded = false;
                ShowReply(decision, Owner());
            }
        } catch (const InternetError& e) {
            if (!job_.Cancelled) ShowMessage(services_.dialogs, e.text());
        }
    }

    void ReUpload() {
        FileDescriptor work = job_.Descriptor;
        const std::wstring destination = work.FileName + L" to " + job_.ServerName;
        ShowDestination(destination);
        try {
            auto request = connection_->OpenFileStoreRequest(job_.RequestFlags);
            std::wstring header;
            try {
                header = document_.BuildUploadHeader(work);
            } catch (const UploadHeaderError& e) {
                ShowError(services_.dialogs, 0, HeaderRefusedText(work.FileName, e.text()));
                return;
            }
            if (!Send(*request, header, work, destination)) return;
            const ReplyDecision decision = Respond(*request);
            if (decision.stored) {
                job_.Succeeded = true;
                job_.Descriptor.FileRef = decision.fileRef;
            } else {
                ShowReply(decision, 0);
            }
        } catch (const InternetError& e) {
            if (!job_.Cancelled) ShowError(services_.dialogs, 0, e.text());
        }
    }

    void ShowReply(const ReplyDecision& decision, WindowRef errorOwner) {
        if (decision.box == ReplyBox::Error) ShowError(services_.dialogs, errorOwner, decision.text);
        if (decision.box == ReplyBox::Message) ShowMessage(services_.dialogs, decision.text);
    }

    // Progress of one posted file; counts and steps follow the job's bytes, one step per whole percent at most.
    class Progress : public PostObserver {
    public:
        Progress(UploadJob& owner, const FileDescriptor& file, const std::wstring& destination)
            : upload_(owner), file_(file), destination_(destination) {}
        bool opened = false;
        std::uint64_t fileSent = 0;

        bool Cancelled() override { return upload_.job_.Cancelled; }
        double Seconds() override { return upload_.services_.seconds ? upload_.services_.seconds() : 0.0; }
        void Opened() override {
            opened = true;
            if (upload_.reupload_) {
                upload_.start_ = upload_.services_.nowDays();
                upload_.lastPercent_ = 0;
                upload_.jobSent_ = 0;
            }
        }
        void BeforeRead() override {
            if (upload_.reupload_ && !upload_.job_.Cancelled) upload_.dialog_.SetStatus(destination_);
        }
        void PieceSent(std::size_t bytes) override {
            const std::uint64_t total = upload_.reupload_ ? file_.FileSize : upload_.job_.TotalBytes;
            // The bar moves block by block as the range counts them: a small file's bar fills with its last
            // block, a large one's steps once per whole percent, whatever the size of the piece.
            for (std::size_t left = bytes; left > 0;) {
                const std::size_t block = std::min<std::size_t>(left, kBlockSize);
                left -= block;
                fileSent += block;
                upload_.jobSent_ += block;
                const std::uint32_t percent = WholePercent(upload_.jobSent_, total);
                if (percent <= upload_.lastPercent_) continue;
                // The bar holds ProgressRange steps; more would make it wrap and start over.
                if (!upload_.job_.Cancelled && upload_.stepsSent_ < (upload_.job_.ProgressRange & 0xFFFFu)) {
                    upload_.dialog_.StepIt();
                    ++upload_.stepsSent_;
                }
                upload_.lastPercent_ = percent;
            }
            const double elapsed = upload_.services_.nowDays() - upload_.start_;
            if (upload_.job_.Cancelled) return;
            upload_.dialog_.UpdateProgressText(file_.FileName, double(fileSent), double(upload_.jobSent_),
                                               double(total), double(file_.FileSize), elapsed);
        }
        // A repeated request sends the file from its start: its bytes so far are not counted twice.
        void Restart() {
            upload_.jobSent_ -= fileSent;
            fileSent = 0;
        }

    private:
        UploadJob& upload_;
        const FileDescriptor& file_;
        const std::wstring& destination_;
    };

    // False when the file was not sent (it could not be opened); stops the job on a cancel.
    bool Send(HttpRequest& request, const std::wstring& header, const FileDescriptor& work,
              const std::wstring& destination) {
        Progress progress(*this, work, destination);
        PostResult result = PostResult::Sent;
        try {
            result = RetryRequest(
                [&] {
                    progress.opened = false;
                    return SendFilePost(request, services_.files, header, work.LocalPath, work.FileSize, progress);
                },
                [&] { progress.Restart(); });
        } catch (const FileError& e) {
            if (progress.opened) throw;  // a read error or a file that changed size: the job stops
            if (job_.Cancelled) throw StopJob{};
            ShowError(services_.dialogs, reupload_ ? 0 : Owner(), e.text());
            if (reupload_) throw StopJob{};
            return false;
        }
        if (result == PostResult::Cancelled) throw StopJob{};
        StopIfCancelled();
        return true;
    }

    ReplyDecision Respond(HttpRequest& request) {
        StopIfCancelled();
        const std::wstring text =
            ReadReplyText(request, services_.codePage, true, [this] { return job_.Cancelled.load(); });
        StopIfCancelled();
        ReplyDecision decision = DecideReply(kFilePostReplyRules, document_, text);
        StopIfCancelled();
        return decision;
    }

    ProgressDialog& dialog_;
    TransferJob& job_;
    UploadWorkerServices& services_;
    ProtocolDocument document_;
    const bool reupload_;
    std::unique_ptr<HttpConnection> connection_;
    double start_ = 0;
    std::uint64_t jobSent_ = 0;
    std::uint32_t lastPercent_ = 0;
    std::uint32_t stepsSent_ = 0;
};

}  // namespace

std::wstring HeaderRefusedText(const std::wstring& fileName, const std::wstring& reason) {
    return L"\"" + fileName + L"\" was not sent: its name or key cannot be given to the server.\r\n\r\n" + reason;
}

std::uint32_t WholePercent(std::uint64_t done, std::uint64_t total) {
    if (total == 0) return 100;
    return static_cast<std::uint32_t>(static_cast<long double>(done) * 100 / static_cast<long double>(total));
}

void RunUploadJob(ProgressDialog& dialog, UploadWorkerServices& services) {
    TransferJob& job = dialog.Job();
    try {
        UploadJob(dialog, services).Run();
    } catch (const StopJob&) {
    } catch (const Error& e) {
        if (!job.Cancelled) ShowError(services.dialogs, 0, e.text());
    } catch (const std::exception& e) {
        if (!job.Cancelled) ShowError(services.dialogs, 0, TextOf(e));
    }
    // The dialog keeps an end asked for before its window exists, so a quick job never leaves it open.
    if (!job.Cancelled) dialog.End(kEndUploadDone);
}

}  // namespace qm
