#include "ui/progress_dialog.h"

namespace qm {

ProgressWindowState::Route ProgressWindowState::RouteEnd(int code, void** window) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (window_) {
        *window = window_;
        return Route::Send;
    }
    if (over_ || endClaimed_) return Route::Lost;
    if (!pendingEnd_) pendingEnd_ = code;
    return Route::Deferred;
}

ProgressWindowState::Route ProgressWindowState::RouteEnableOpenButtons(void** window) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (window_) {
        *window = window_;
        return Route::Send;
    }
    if (over_ || endClaimed_) return Route::Lost;
    pendingEnable_ = true;
    return Route::Deferred;
}

void* ProgressWindowState::Window() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return window_;
}

bool ProgressWindowState::WaitForWindow() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return window_ != nullptr || over_ || endClaimed_; });
    return window_ != nullptr;
}

ProgressWindowState::Deferred ProgressWindowState::Created(void* window) {
    Deferred deferred;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        window_ = window;
        deferred.end = pendingEnd_;
        deferred.enableOpenButtons = pendingEnable_;
        pendingEnd_.reset();
        pendingEnable_ = false;
    }
    changed_.notify_all();
    return deferred;
}

bool ProgressWindowState::ClaimEnd() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (endClaimed_ || committing_) return false;
    endClaimed_ = true;
    return true;
}

bool ProgressWindowState::BeginCommit() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (endClaimed_) return false;
    committing_ = true;
    return true;
}

void ProgressWindowState::EndCommit() {
    std::lock_guard<std::mutex> lock(mutex_);
    committing_ = false;
}

bool ProgressWindowState::EndClaimed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return endClaimed_;
}

void ProgressWindowState::Destroyed() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        window_ = nullptr;
        over_ = true;
    }
    changed_.notify_all();
}

void ProgressWindowState::Finished() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        window_ = nullptr;
        over_ = true;
    }
    changed_.notify_all();
}

void ProgressDialog::UpdateProgressText(const std::wstring& name, double partDone, double bytesDone,
                                        double bytesTotal, double partTotal, double elapsedDays) {
    if (job_.Cancelled.load(std::memory_order_relaxed)) return;
    board_.Post(name, partDone, bytesDone, bytesTotal, partTotal, elapsedDays);
}

void ProgressDialog::FlushProgressTexts() {
    if (job_.Cancelled.load() || !board_.Pending()) return;
    ProgressTextBoard::Changes changes;
    try {
        changes = board_.Take();
    } catch (...) {
        return;  // out of memory while building the texts: nothing is shown
    }
    if (changes.caption) WriteProgressField(ProgressField::Caption, *changes.caption);
    if (changes.rate) WriteProgressField(ProgressField::Rate, *changes.rate);
    if (changes.timeLeft) WriteProgressField(ProgressField::TimeLeft, *changes.timeLeft);
}

bool ProgressDialog::BeginCancel(ProgressWindowState& state) {
    if (!state.ClaimEnd()) return false;
    job_.Cancelled = true;
    return true;
}

}  // namespace qm
