#pragma once
// One operation at a time. Page script runs inside an operation (page functions, the message loops of boxes and
// dialogs) and may call the control again; a second operation started from there would share the one progress
// dialog and the objects the first is using, so it is refused.
#include <atomic>

namespace qm {

class OperationScope {
public:
    OperationScope() : entered_(!Running().exchange(true)) {}
    ~OperationScope() {
        if (entered_) Running().store(false);
    }
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;

    // False when another operation was already running: the caller does nothing and returns status 1.
    bool Entered() const noexcept { return entered_; }
    static bool AnyRunning() noexcept { return Running().load(); }

private:
    static std::atomic<bool>& Running() noexcept {
        static std::atomic<bool> running{false};
        return running;
    }
    bool entered_;
};

}  // namespace qm
