#pragma once
// The progress texts of a transfer (caption, rate, time left) and the board that hands the latest of them from
// the worker to the dialog, so that a window only receives a text that differs from what it shows.
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace qm {

// The arguments of one progress report: the caption's percentage comes from partDone / partTotal, the rate,
// time left and sizes from bytesDone / bytesTotal; elapsed is in days.
struct ProgressNumbers {
    std::wstring name;
    double partDone = 0;
    double bytesDone = 0;
    double bytesTotal = 0;
    double partTotal = 0;
    double elapsedDays = 0;
};

struct ProgressTexts {
    std::wstring caption;   // "45% of report.doc completed"
    std::wstring rate;      // "1.0 KB/sec", "1.0 MB/sec"
    std::wstring timeLeft;  // "8 sec (2.00 KB of 10.00 KB)"
};

// A double truncated toward zero to 32 bits; NaN and values out of range give INT32_MIN, as the processor's
// conversion does.
std::int32_t TruncateToInt32(double value);

// The texts of one report. An empty part (partTotal 0) counts as complete; a report within the first second
// takes the rate over one second.
ProgressTexts ComputeProgressTexts(const ProgressNumbers& numbers);

enum class ProgressField { Caption = 0, Rate = 1, TimeLeft = 2 };

// Written by the worker after every read, read by the dialog's thread when it refreshes the display.
class ProgressTextBoard {
public:
    struct Changes {
        std::optional<std::wstring> caption;
        std::optional<std::wstring> rate;
        std::optional<std::wstring> timeLeft;
        bool Any() const { return caption || rate || timeLeft; }
    };

    // Keeps the latest report; cheap, so that reporting after every read costs the transfer nothing.
    void Post(const std::wstring& name, double partDone, double bytesDone, double bytesTotal, double partTotal,
              double elapsedDays);
    bool Pending() const;
    // The texts of the latest report that differ from what the windows show; they count as shown from now on.
    Changes Take();
    // A window received a text by other means (a message of the worker, the template's initial text).
    void Shown(ProgressField field, const std::wstring& text);
    std::wstring ShownText(ProgressField field) const;

private:
    mutable std::mutex mutex_;
    bool pending_ = false;
    ProgressNumbers latest_;
    std::wstring shown_[3];
};

}  // namespace qm
