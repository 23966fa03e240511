#include "toolkit/event_queue.h"

#include <gtest/gtest.h>

#include <thread>

namespace zarn::toolkit {
namespace {

std::uint8_t pct_of(const std::optional<UiEvent>& event) { return std::get<Progress>(*event).pct; }

TEST(EventQueue, DeliversInPostingOrderAndWakesForEach) {
    int wakes = 0;
    EventQueue queue([&] { return ++wakes, true; });
    EXPECT_FALSE(queue.post(Progress{"a", 1, "", "working"}));
    EXPECT_FALSE(queue.post(Progress{"b", 2, "", "working"}));
    EXPECT_EQ(wakes, 2);
    EXPECT_EQ(pct_of(queue.take()), 1);
    EXPECT_EQ(pct_of(queue.take()), 2);
    EXPECT_FALSE(queue.take());
}

TEST(EventQueue, HandsTheEventBackWhenTheLoopCannotBeWoken) {
    EventQueue queue([] { return false; });
    const auto back = queue.post(Installed{"C:\\ZARN\\zarn.exe"});
    ASSERT_TRUE(back);
    EXPECT_EQ(std::get<Installed>(*back).exe_path, "C:\\ZARN\\zarn.exe");
    EXPECT_FALSE(queue.take());
}

TEST(EventQueue, HandsEverythingBackOnceClosed) {
    EventQueue queue([] { return true; });
    (void)queue.post(Close{});
    queue.close();
    EXPECT_FALSE(queue.take());
    EXPECT_TRUE(queue.post(Launch{}));
}

TEST(EventQueue, KeepsEachThreadsOrderUnderContention) {
    EventQueue queue([] { return true; });
    constexpr int kPerThread = 200;
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t) {
        posters.emplace_back([&queue, t] {
            for (int i = 0; i < kPerThread; ++i) {
                (void)queue.post(Progress{std::to_string(t), static_cast<std::uint8_t>(i % 256), "", "working"});
            }
        });
    }
    std::vector<int> next(4, 0);
    int taken = 0;
    while (taken < 4 * kPerThread) {
        if (auto event = queue.take()) {
            const auto& progress = std::get<Progress>(*event);
            EXPECT_EQ(progress.pct, next[std::stoi(progress.step)]++);
            ++taken;
        }
    }
    for (auto& poster : posters) poster.join();
    EXPECT_FALSE(queue.take());
}

}  // namespace
}  // namespace zarn::toolkit
