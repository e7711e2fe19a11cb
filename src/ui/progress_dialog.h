#pragma once
// The progress dialog as the workers see it: the transfer's job, the dialog's messages and operations.
// The Windows dialog implements it (ui/win32/progress_dialog.h); native tests use fakes.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "common/transfer_job.h"
#include "ui/progress_layout.h"
#include "ui/progress_text.h"

namespace qm {

// End codes of the dialog.
inline constexpr int kEndOpen = 1002;          // Open button
inline constexpr int kEndOpenFolder = 1004;    // Open Folder button
inline constexpr int kEndCancelled = 2;        // Cancel button or Escape; Cancelled is set
inline constexpr int kEndDownloadClosed = 1;   // download succeeded with "close when done" checked
inline constexpr int kEndDownloadFailed = -1;  // download cancelled or failed
inline constexpr int kEndUploadDone = 0;       // upload finished

// Where the dialog window is in its life, shared by the UI thread and the worker. The worker may run before
// the window exists and may finish before it exists: an end (or the enabling of the Open buttons) asked for
// then is kept and carried out as soon as the window is created.
class ProgressWindowState {
public:
    enum class Route { Send, Deferred, Lost };

    // Worker side. Send: the window exists, *window is set and the request goes to it.
    Route RouteEnd(int code, void** window);
    Route RouteEnableOpenButtons(void** window);
    void* Window() const;
    // Blocks until the window exists (true) or the dialog is over without one (false).
    bool WaitForWindow();

    // UI side.
    struct Deferred {
        std::optional<int> end;
        bool enableOpenButtons = false;
    };
    Deferred Created(void* window);
    // The first end of the dialog wins; later ends (a worker's after a cancel, a second click) are ignored, and
    // so is an end asked for while the worker puts a received file in place.
    bool ClaimEnd();
    // Worker side, around putting a received file in place. False when the end was claimed first (a cancel):
    // the file must not be put in place. A dialog that ended by Cancel never leaves a replaced file behind.
    bool BeginCommit();
    void EndCommit();
    bool EndClaimed() const;
    void Destroyed();
    // The modal run is over (also when the dialog could not be created).
    void Finished();

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    void* window_ = nullptr;
    bool over_ = false;
    bool endClaimed_ = false;
    bool committing_ = false;
    std::optional<int> pendingEnd_;
    bool pendingEnable_ = false;
};

class ProgressDialog {
public:
    ProgressDialog() = default;
    virtual ~ProgressDialog() = default;
    ProgressDialog(const ProgressDialog&) = delete;
    ProgressDialog& operator=(const ProgressDialog&) = delete;

    TransferJob& Job() noexcept { return job_; }
    const TransferJob& Job() const noexcept { return job_; }

    // The seven window messages; each is answered on the dialog's thread before the call returns and is lost
    // while the window does not exist.
    virtual void SetStatus(const std::wstring& text) = 0;
    virtual void StepIt() = 0;
    virtual void SetRange(std::uint32_t upper) = 0;
    virtual void SetCaption(const std::wstring& text) = 0;
    virtual void SetTimeLeft(const std::wstring& text) = 0;
    virtual void SetRate(const std::wstring& text) = 0;
    virtual void SetPath(const std::wstring& text) = 0;

    // After every read: the dialog's caption, rate and time-left texts follow these numbers (elapsed in days).
    // Nothing changes once Cancelled is set. The windows are refreshed at display pace with the latest texts.
    void UpdateProgressText(const std::wstring& name, double partDone, double bytesDone, double bytesTotal,
                            double partTotal, double elapsedDays);

    // True when "Close this dialog box when download completes" is checked; before the window exists, the state
    // the box will have when it opens.
    virtual bool CloseWhenDoneChecked() = 0;
    // Enables Open and Open Folder (kept for the window when it does not exist yet).
    virtual void EnableOpenButtons() = 0;
    // Around putting a received file in place; false when the job was cancelled first (see
    // ProgressWindowState::BeginCommit). EndCommit follows every BeginCommit that returned true.
    virtual bool BeginCommit() { return !job_.Cancelled; }
    virtual void EndCommit() {}
    // Has the UI thread carry out the named script request ("GetPrimKey", "SaveFileInfo") and returns after it
    // has run. Sets PendingRequest first.
    virtual void RequestScript(const std::wstring& name) = 0;
    // Ends the dialog with a code (kept for the window when it does not exist yet; lost once it has ended).
    virtual void End(int code) = 0;
    // The dialog window exists now.
    virtual bool WindowExists() const = 0;
    // The dialog window, as owner of message boxes the worker shows (HWND on Windows); null when none.
    virtual void* OwnerWindow() const = 0;

protected:
    // UI thread: writes the texts of the latest report that differ from what the windows show.
    void FlushProgressTexts();
    virtual void WriteProgressField(ProgressField field, const std::wstring& text) = 0;
    ProgressTextBoard& Board() noexcept { return board_; }
    // Cancel button or Escape: true when the dialog is to end with kEndCancelled; sets Cancelled.
    bool BeginCancel(ProgressWindowState& state);

private:
    TransferJob job_;
    ProgressTextBoard board_;
};

}  // namespace qm
