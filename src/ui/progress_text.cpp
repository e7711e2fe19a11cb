#include "ui/progress_text.h"

#include <cmath>
#include <cstdio>
#include <cwchar>
#include <limits>

#include "common/text_format.h"

namespace qm {

namespace {

std::wstring Printf1(const wchar_t* format, double value) {
    wchar_t buffer[64];
    int n = std::swprintf(buffer, 64, format, value);
    return n < 0 ? std::wstring() : std::wstring(buffer);
}

}  // namespace

std::int32_t TruncateToInt32(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0)) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

ProgressTexts ComputeProgressTexts(const ProgressNumbers& n) {
    ProgressTexts texts;
    const std::int32_t percent = n.partTotal == 0 ? 100 : TruncateToInt32(n.partDone * 100.0 / n.partTotal);
    {
        wchar_t buffer[300];
        int written = std::swprintf(buffer, 300, L"%d%% of %ls completed", static_cast<int>(percent), n.name.c_str());
        texts.caption = written < 0 ? std::to_wstring(percent) + L"% of " + n.name + L" completed" : buffer;
    }

    std::int32_t seconds = TruncateToInt32(n.elapsedDays * 86400.0 + 1.0 / 172800.0);
    if (seconds == 0) seconds = 1;
    double rate = (n.bytesDone / 1024.0) / seconds;
    if (!(rate > 1.0)) rate = 1.0;
    texts.rate = rate > 999.0 ? Printf1(L"%0.1f MB/sec", rate / 1024.0) : Printf1(L"%0.1f KB/sec", rate);

    std::int32_t left = TruncateToInt32(((n.bytesTotal - n.bytesDone) / 1024.0) / rate);
    if (static_cast<std::uint32_t>(left) <= 1) left = 1;
    texts.timeLeft = FormatDuration(static_cast<std::uint32_t>(left)) + L" (" + FormatByteSize(n.bytesDone) + L" of " +
                     FormatByteSize(n.bytesTotal) + L")";
    return texts;
}

void ProgressTextBoard::Post(const std::wstring& name, double partDone, double bytesDone, double bytesTotal,
                             double partTotal, double elapsedDays) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (latest_.name != name) latest_.name = name;
    latest_.partDone = partDone;
    latest_.bytesDone = bytesDone;
    latest_.bytesTotal = bytesTotal;
    latest_.partTotal = partTotal;
    latest_.elapsedDays = elapsedDays;
    pending_ = true;
}

bool ProgressTextBoard::Pending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_;
}

ProgressTextBoard::Changes ProgressTextBoard::Take() {
    ProgressNumbers numbers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!pending_) return {};
        pending_ = false;
        numbers = latest_;
    }
    ProgressTexts texts = ComputeProgressTexts(numbers);
    Changes changes;
    std::lock_guard<std::mutex> lock(mutex_);
    auto pick = [this](ProgressField field, std::wstring& text, std::optional<std::wstring>& out) {
        std::wstring& shown = shown_[static_cast<int>(field)];
        if (shown != text) {
            shown = text;
            out = std::move(text);
        }
    };
    pick(ProgressField::Caption, texts.caption, changes.caption);
    pick(ProgressField::Rate, texts.rate, changes.rate);
    pick(ProgressField::TimeLeft, texts.timeLeft, changes.timeLeft);
    return changes;
}

void ProgressTextBoard::Shown(ProgressField field, const std::wstring& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    shown_[static_cast<int>(field)] = text;
}

std::wstring ProgressTextBoard::ShownText(ProgressField field) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_[static_cast<int>(field)];
}

}  // namespace qm
