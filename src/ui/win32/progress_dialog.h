#pragma once
// The progress dialog of every transfer (template 103), on Windows.
//
// Use, on the UI thread:
//   auto dialog = Win32ProgressDialog::Create();
//   dialog->Job().Mode = TransferMode::Download;  ... fill the job ...
//   dialog->SetScriptRequestHandler(handler);      // uploads: runs page scripts on the UI thread
//   dialog->StartWorker(body);                     // thread created suspended, then resumed
//   INT_PTR code = dialog->Run(GetActiveWindow()); // modal; the end code
//
// The worker thread holds its own reference to the dialog object, so the object and its job stay valid until the
// worker has returned, also when the user cancelled and the starting operation has let go of it. The worker may
// run before the window exists and finish before it exists: End and EnableOpenButtons asked for then are carried
// out when the window is created, and RequestScript waits for the window.
//
// Script requests: the worker calls RequestScript(name); it stores the name in PendingRequest and sets the text of
// the hidden edit control 223, which returns only after the UI thread has run the handler on EN_UPDATE.
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "common/win32/owners.h"
#include "ui/progress_dialog.h"
#include "ui/win32/hover_button.h"
#include "ui/win32/modal_dialog.h"

namespace qm {

// Private messages of the dialog (outside the PDM_ values and the unused 0x877A..0x877F).
inline constexpr UINT kProgressEndMessage = WM_APP + 0x790;
inline constexpr UINT kProgressEnableOpenMessage = WM_APP + 0x791;
// How often the progress texts are brought to the screen at most, in milliseconds.
inline constexpr UINT kProgressRefreshMs = 50;

class Win32ProgressDialog final : public ProgressDialog,
                                  public std::enable_shared_from_this<Win32ProgressDialog>,
                                  private ModalDialog {
public:
    using WorkerBody = std::function<void(ProgressDialog&)>;
    using ScriptRequestHandler = std::function<void(ProgressDialog&)>;

    static std::shared_ptr<Win32ProgressDialog> Create();
    ~Win32ProgressDialog() override;

    // Called on the UI thread for each script request (EN_UPDATE of control 223); reads PendingRequest.
    void SetScriptRequestHandler(ScriptRequestHandler handler);
    // Creates the worker thread suspended with this dialog as its parameter and resumes it. Throws qm::Error.
    // A body that throws ends the dialog with kEndDownloadFailed.
    void StartWorker(WorkerBody body);
    // The worker's thread handle, valid while this object lives; null before StartWorker.
    HANDLE WorkerThread() const { return worker_.get(); }
    // True when the worker has returned within the time.
    bool WaitForWorker(DWORD milliseconds) const;
    // Runs dialog 103 modally and returns its end code (-1 also when the dialog could not be created).
    INT_PTR Run(HWND owner);

    HWND Window() const { return static_cast<HWND>(state_.Window()); }
    HoverButton& OpenButton() { return openButton_; }
    HoverButton& OpenFolderButton() { return openFolderButton_; }
    HoverButton& CancelButton() { return cancelButton_; }

    void SetStatus(const std::wstring& text) override;
    void StepIt() override;
    void SetRange(std::uint32_t upper) override;
    void SetCaption(const std::wstring& text) override;
    void SetTimeLeft(const std::wstring& text) override;
    void SetRate(const std::wstring& text) override;
    void SetPath(const std::wstring& text) override;
    bool CloseWhenDoneChecked() override;
    void EnableOpenButtons() override;
    void RequestScript(const std::wstring& name) override;
    void End(int code) override;
    bool WindowExists() const override { return state_.Window() != nullptr; }
    bool BeginCommit() override { return state_.BeginCommit() && !Job().Cancelled; }
    void EndCommit() override { state_.EndCommit(); }
    void* OwnerWindow() const override { return state_.Window(); }

protected:
    void WriteProgressField(ProgressField field, const std::wstring& text) override;

private:
    Win32ProgressDialog() = default;
    static LRESULT CALLBACK SubclassProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                              DWORD_PTR self);
    static LRESULT CALLBACK BarSubclassProcedure(HWND bar, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                                 DWORD_PTR self);
    static DWORD WINAPI WorkerEntry(void* start);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT HandleSubclassed(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    void Initialise();
    void ApplyShownTexts();
    void EndNow(int code);
    void ApplyPendingSteps();
    void SendText(UINT message, const std::wstring& text);
    void RememberText(int control, const std::wstring& text);
    bool AlreadyShows(int control, const std::wstring& text);

    int pendingSteps_ = 0;   // UI thread: steps received and not yet given to the bar
    std::atomic<int> queuedSteps_{0};  // steps the worker handed over without a message
    ULONGLONG lastStepSent_ = 0;       // worker: when it last sent a step
    ProgressWindowState state_;
    ScriptRequestHandler scriptHandler_;
    UniqueHandle worker_;
    HoverButton openButton_;
    HoverButton openFolderButton_;
    HoverButton cancelButton_;
    std::mutex textMutex_;
    std::wstring shownStatus_;
    std::wstring shownPath_;
};

}  // namespace qm
