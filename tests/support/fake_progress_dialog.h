#pragma once
// The progress dialog with its shared logic and a window that records what it is given, for the workers' tests.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/progress_dialog.h"

namespace qm::testing {

class FakeProgressDialog : public ProgressDialog {
public:
    struct Write {
        ProgressField field;
        std::wstring text;
    };
    std::vector<Write> writes;  // texts the refresh wrote
    ProgressWindowState state;

    // What the window messages and calls carried, in order of kind.
    std::vector<std::wstring> statuses, captions, timesLeft, rates, paths;
    std::vector<std::uint32_t> ranges;
    int steps = 0;
    std::vector<std::wstring> scriptRequests;
    std::optional<int> endCode;
    bool closeWhenDone = true;
    bool openButtonsEnabled = false;
    bool windowExists = false;
    void* window = nullptr;  // the owner of the worker's message boxes, once the window exists
    int commitsBegun = 0, commitsEnded = 0;

    // What the user does meanwhile: Cancel once this many steps were sent or when this status is shown.
    std::optional<int> cancelAtStep;
    std::optional<std::wstring> cancelAtStatus;
    // Run after the call is recorded; a script request's handler runs as the UI thread would run it.
    std::function<void(FakeProgressDialog&)> onRequest, onStep;
    std::function<void(FakeProgressDialog&, const std::wstring&)> onStatus;

    void Flush() { FlushProgressTexts(); }
    bool Cancel() { return BeginCancel(state); }
    // The last text the refresh wrote into a field; empty when none.
    std::wstring LastWritten(ProgressField field) const {
        for (auto it = writes.rbegin(); it != writes.rend(); ++it)
            if (it->field == field) return it->text;
        return {};
    }
    // Commits go through `state`, as the window's dialog does; otherwise the plain rule (not cancelled).
    bool beginCommitThroughState = false;
    bool BeginCommit() override {
        ++commitsBegun;
        return beginCommitThroughState ? state.BeginCommit() && !Job().Cancelled : ProgressDialog::BeginCommit();
    }
    void EndCommit() override {
        ++commitsEnded;
        if (beginCommitThroughState) state.EndCommit();
    }

    void SetStatus(const std::wstring& text) override {
        statuses.push_back(text);
        if (cancelAtStatus && text == *cancelAtStatus) Job().Cancelled = true;
        if (onStatus) onStatus(*this, text);
    }
    void StepIt() override {
        ++steps;
        if (cancelAtStep && steps >= *cancelAtStep) Job().Cancelled = true;
        if (onStep) onStep(*this);
    }
    void SetRange(std::uint32_t upper) override { ranges.push_back(upper); }
    void SetCaption(const std::wstring& text) override { captions.push_back(text); }
    void SetTimeLeft(const std::wstring& text) override { timesLeft.push_back(text); }
    void SetRate(const std::wstring& text) override { rates.push_back(text); }
    void SetPath(const std::wstring& text) override { paths.push_back(text); }
    bool CloseWhenDoneChecked() override { return closeWhenDone; }
    void EnableOpenButtons() override { openButtonsEnabled = true; }
    void RequestScript(const std::wstring& name) override {
        Job().PendingRequest = name;
        scriptRequests.push_back(name);
        if (onRequest) onRequest(*this);
    }
    void End(int code) override {
        if (!endCode) endCode = code;  // later ends are lost, as with the window
    }
    bool WindowExists() const override { return windowExists; }
    void* OwnerWindow() const override { return window; }

protected:
    void WriteProgressField(ProgressField field, const std::wstring& text) override { writes.push_back({field, text}); }
};

}  // namespace qm::testing
