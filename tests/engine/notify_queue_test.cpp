// The queue between the worker and its receiver: order, ownership of the
// status strings, refusals, and the two ways a receiver learns of messages.
#include <atomic>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "notify_queue.h"
#include "update_fixture.h"

using namespace test;

namespace {

LPARAM Text(const wchar_t* text)
{
    return reinterpret_cast<LPARAM>(new std::wstring(text));
}

TEST(NotifyQueue, EveryMessageKeepsItsPlaceAndWakesOncePerEmptyQueue)
{
    int wakes = 0;
    CNotifyQueue queue([&] { ++wakes; });
    EXPECT_TRUE(queue.PostNotify(WM_UPDATE_BYTES, 1, 10));
    EXPECT_TRUE(queue.PostNotify(WM_UPDATE_BYTES, 2, 10));
    EXPECT_TRUE(queue.PostNotify(WM_UPDATE_STATUS, 4, Text(L"a")));
    EXPECT_TRUE(queue.PostNotify(WM_UPDATE_BYTES, 7, 20));
    EXPECT_TRUE(queue.PostNotify(WM_UPDATE_DONE, 0, 0));
    EXPECT_EQ(wakes, 1) << "one wake per empty-to-waiting turn";
    const std::vector<UPDATE_MESSAGE> taken = TakeUpdateMessages(queue);
    const std::pair<unsigned, WPARAM> expected[] = {
        {WM_UPDATE_BYTES, 1}, {WM_UPDATE_BYTES, 2}, {WM_UPDATE_STATUS, 4}, {WM_UPDATE_BYTES, 7}, {WM_UPDATE_DONE, 0}};
    ASSERT_EQ(taken.size(), std::size(expected));
    for (std::size_t i = 0; i < taken.size(); ++i) {
        EXPECT_EQ(taken[i].nMessage, expected[i].first) << i;
        EXPECT_EQ(taken[i].wParam, expected[i].second) << i;
    }
    EXPECT_EQ(taken[2].strText, L"a");
    EXPECT_TRUE(queue.PostNotify(WM_UPDATE_CLOSE, 0, 0));
    EXPECT_EQ(wakes, 2);
}

// A queue for a front end that shows only the newest counts: a waiting
// byte count is replaced by the next, everything else keeps its place.
TEST(NotifyQueue, LatestByteCountsReplaceTheWaitingOne)
{
    int wakes = 0;
    CNotifyQueue queue([&] { ++wakes; }, NOTIFY_BYTES::Latest);
    const std::pair<unsigned, WPARAM> posted[] = {
        {WM_UPDATE_BYTES, 0}, {WM_UPDATE_BYTES, 5}, {WM_UPDATE_BYTES, 9}, {WM_UPDATE_STATUS, 3},
        {WM_UPDATE_BYTES, 0}, {WM_UPDATE_BYTES, 4}, {WM_UPDATE_STATUS, 65}, {WM_UPDATE_BYTES, 0}, {WM_UPDATE_DONE, 0}};
    for (const auto& [message, wParam] : posted)
        EXPECT_TRUE(queue.PostNotify(message, wParam, message == WM_UPDATE_STATUS ? Text(L"s") : 100));
    EXPECT_EQ(wakes, 1);
    const std::vector<UPDATE_MESSAGE> taken = TakeUpdateMessages(queue);
    const std::pair<unsigned, WPARAM> expected[] = {{WM_UPDATE_BYTES, 9}, {WM_UPDATE_STATUS, 3}, {WM_UPDATE_BYTES, 4},
                                                    {WM_UPDATE_STATUS, 65}, {WM_UPDATE_BYTES, 0}, {WM_UPDATE_DONE, 0}};
    ASSERT_EQ(taken.size(), std::size(expected));
    for (std::size_t i = 0; i < taken.size(); ++i) {
        EXPECT_EQ(taken[i].nMessage, expected[i].first) << i;
        EXPECT_EQ(taken[i].wParam, expected[i].second) << i;
    }
    // Whatever the byte counts did, a status wakes a receiver that took.
    EXPECT_TRUE(queue.PostNotify(WM_UPDATE_BYTES, 1, 100));
    EXPECT_TRUE(queue.PostNotify(WM_UPDATE_STATUS, 4, Text(L"t")));
    EXPECT_EQ(wakes, 2);
    EXPECT_EQ(TakeUpdateMessages(queue).size(), 2u);
}

TEST(NotifyQueue, RefusesUnknownMessagesAndPostsAfterClose)
{
    CNotifyQueue queue;
    EXPECT_FALSE(queue.PostNotify(WM_USER, 0, 0));
    EXPECT_FALSE(queue.PostNotify(WM_UPDATE_DONE + 1, 0, 0));
    // Left in the queue: freed with it (the sanitizer build's leak checker
    // watches this).
    EXPECT_TRUE(queue.PostNotify(WM_UPDATE_STATUS, 1, Text(L"left behind")));
    queue.Close();
    const LPARAM refused = Text(L"refused");
    EXPECT_FALSE(queue.PostNotify(WM_UPDATE_STATUS, 1, refused));
    delete reinterpret_cast<std::wstring*>(refused);  // still the sender's
}

TEST(NotifyQueue, AWaitingReceiverWakesForAPostAndGivesUpAfterItsTime)
{
    CNotifyQueue queue;
    EXPECT_TRUE(queue.WaitAndTakeAll(std::chrono::milliseconds(20)).empty());
    std::atomic<bool> waiting{false};
    std::thread poster([&] {
        WaitUntil([&] { return waiting.load(); });
        queue.PostNotify(WM_UPDATE_CLOSE, 0, 0);
    });
    waiting = true;
    const std::vector<NOTIFY_MESSAGE> taken = queue.WaitAndTakeAll(std::chrono::seconds(30));
    poster.join();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].message, WM_UPDATE_CLOSE);
}

} // namespace
