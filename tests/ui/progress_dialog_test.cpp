#include "ui/progress_dialog.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "support/fake_progress_dialog.h"

namespace qm {
namespace {

using testing::FakeProgressDialog;

constexpr double kSecond = 1.0 / 86400.0;

TEST(ProgressDialogTexts, ManyReportsBetweenRefreshesShowTheLastOne) {
    FakeProgressDialog dialog;
    for (int i = 1; i <= 4; ++i) dialog.UpdateProgressText(L"r.doc", i * 25, i * 2560, 10240, 100, 2 * kSecond);
    dialog.Flush();
    ASSERT_EQ(dialog.writes.size(), 3u);
    EXPECT_EQ(dialog.writes[0].field, ProgressField::Caption);
    EXPECT_EQ(dialog.writes[0].text, L"100% of r.doc completed");
    EXPECT_EQ(dialog.writes[1].field, ProgressField::Rate);
    EXPECT_EQ(dialog.writes[1].text, L"5.0 KB/sec");
    EXPECT_EQ(dialog.writes[2].field, ProgressField::TimeLeft);
    EXPECT_EQ(dialog.writes[2].text, L"1 sec (10.00 KB of 10.00 KB)");
    dialog.Flush();
    EXPECT_EQ(dialog.writes.size(), 3u) << "nothing new was reported";
}

TEST(ProgressDialogTexts, NothingIsWrittenAfterCancel) {
    FakeProgressDialog dialog;
    dialog.UpdateProgressText(L"r.doc", 10, 1024, 10240, 100, 1 * kSecond);
    dialog.Flush();
    const std::size_t before = dialog.writes.size();
    ASSERT_EQ(before, 3u);

    // A report made just before the cancel is not shown after it, nor any later one.
    dialog.UpdateProgressText(L"r.doc", 20, 2048, 10240, 100, 2 * kSecond);
    ASSERT_TRUE(dialog.Cancel());
    EXPECT_TRUE(dialog.Job().Cancelled);
    dialog.Flush();
    dialog.UpdateProgressText(L"r.doc", 30, 3072, 10240, 100, 3 * kSecond);
    dialog.Flush();
    EXPECT_EQ(dialog.writes.size(), before);
}

TEST(ProgressDialogCancel, OnlyTheFirstEndCounts) {
    FakeProgressDialog dialog;
    ASSERT_TRUE(dialog.Cancel());
    EXPECT_FALSE(dialog.Cancel());
    EXPECT_TRUE(dialog.Job().Cancelled);

    FakeProgressDialog ended;
    ASSERT_TRUE(ended.state.ClaimEnd());  // the worker ended it first
    EXPECT_FALSE(ended.Cancel());
    EXPECT_FALSE(ended.Job().Cancelled) << "a cancel after the end must not mark the job";
}

TEST(ProgressWindowState, EndAskedBeforeTheWindowIsCarriedOutWhenItIsCreated) {
    ProgressWindowState state;
    void* window = nullptr;
    EXPECT_EQ(state.RouteEnableOpenButtons(&window), ProgressWindowState::Route::Deferred);
    EXPECT_EQ(state.RouteEnd(1, &window), ProgressWindowState::Route::Deferred);
    EXPECT_EQ(state.RouteEnd(-1, &window), ProgressWindowState::Route::Deferred);
    int fakeWindow = 0;
    const ProgressWindowState::Deferred deferred = state.Created(&fakeWindow);
    ASSERT_TRUE(deferred.end);
    EXPECT_EQ(*deferred.end, 1) << "the first end asked for wins";
    EXPECT_TRUE(deferred.enableOpenButtons);
    EXPECT_EQ(state.RouteEnd(0, &window), ProgressWindowState::Route::Send);
    EXPECT_EQ(window, &fakeWindow);
    EXPECT_EQ(state.Window(), &fakeWindow);
}

// A received file goes in place only when no end was taken first, and no Cancel is taken while it does: a
// dialog that ended by Cancel never leaves a replaced file.
TEST(ProgressWindowState, ACancelBeforeACommitStopsItAndOneDuringItIsRefused) {
    ProgressWindowState cancelled;
    ASSERT_TRUE(cancelled.ClaimEnd());
    EXPECT_FALSE(cancelled.BeginCommit());

    ProgressWindowState state;
    ASSERT_TRUE(state.BeginCommit());
    EXPECT_FALSE(state.ClaimEnd()) << "a Cancel while the file goes in place";
    EXPECT_FALSE(state.EndClaimed());
    state.EndCommit();
    EXPECT_TRUE(state.ClaimEnd()) << "the worker's end after it";

    FakeProgressDialog dialog;
    dialog.beginCommitThroughState = true;
    ASSERT_TRUE(dialog.BeginCommit());
    EXPECT_FALSE(dialog.Cancel());
    EXPECT_FALSE(dialog.Job().Cancelled);
    dialog.EndCommit();
    EXPECT_TRUE(dialog.Cancel());
    EXPECT_FALSE(dialog.BeginCommit());
}

TEST(ProgressWindowState, RequestsAfterTheWindowAreLost) {
    ProgressWindowState state;
    int fakeWindow = 0;
    EXPECT_FALSE(state.Created(&fakeWindow).end);
    EXPECT_TRUE(state.ClaimEnd());
    EXPECT_FALSE(state.ClaimEnd());
    state.Destroyed();
    void* window = nullptr;
    EXPECT_EQ(state.RouteEnd(1, &window), ProgressWindowState::Route::Lost);
    EXPECT_EQ(state.RouteEnableOpenButtons(&window), ProgressWindowState::Route::Lost);
    EXPECT_EQ(state.Window(), nullptr);
    EXPECT_FALSE(state.WaitForWindow());
}

TEST(ProgressWindowState, WaitForWindowReturnsOnCreationOrOnARunThatNeverShowed) {
    ProgressWindowState state;
    int fakeWindow = 0;
    std::thread ui([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        state.Created(&fakeWindow);
    });
    EXPECT_TRUE(state.WaitForWindow());
    ui.join();

    ProgressWindowState failed;
    std::thread run([&] { failed.Finished(); });
    EXPECT_FALSE(failed.WaitForWindow());
    run.join();
    void* window = nullptr;
    EXPECT_EQ(failed.RouteEnd(1, &window), ProgressWindowState::Route::Lost);
}

}  // namespace
}  // namespace qm
