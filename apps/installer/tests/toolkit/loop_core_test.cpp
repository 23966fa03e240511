#include "toolkit/loop_core.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zarn::toolkit {
namespace {

// Stands in for a backend: wake-ups wait until the test lets the "platform" run them.
struct Platform {
    std::vector<std::weak_ptr<LoopCore>> wakes;
    int exits = 0;

    std::shared_ptr<LoopCore> make_core() {
        return LoopCore::create({[this](const std::weak_ptr<LoopCore>& core) { return wakes.push_back(core), true; },
                                 [this] { ++exits; }});
    }
    void run_wakes() {
        for (const auto& core : std::exchange(wakes, {})) {
            if (const auto alive = core.lock()) alive->drain();
        }
    }
};

Progress progress(std::uint8_t pct) { return Progress{"step", pct, "", "working"}; }

std::string name_of(const LoopEvent& event) {
    if (std::holds_alternative<CloseRequested>(event)) return "close";
    if (const auto* ui = std::get_if<UiEvent>(&event); ui && std::holds_alternative<Progress>(*ui)) {
        return std::to_string(std::get<Progress>(*ui).pct);
    }
    return "other";
}

TEST(LoopCore, DeliversInOrderFromTheStartAndNothingOnceTheHandlerEnds) {
    Platform platform;
    const auto core = platform.make_core();
    std::vector<std::string> seen;
    EXPECT_FALSE(core->queue()->post(progress(1)));
    EXPECT_FALSE(core->queue()->post(progress(2)));
    core->deliver(CloseRequested{});  // no handler yet
    EXPECT_TRUE(seen.empty());

    core->start([&](LoopEvent event, ControlFlow& flow) {
        seen.push_back(name_of(event));
        if (seen.back() == "3") flow.set_exit(5);
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"1", "2"}));

    EXPECT_FALSE(core->queue()->post(progress(3)));
    EXPECT_FALSE(core->queue()->post(progress(4)));
    platform.run_wakes();
    core->deliver(CloseRequested{});
    EXPECT_EQ(seen, (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_TRUE(core->exiting());
    EXPECT_EQ(core->exit_code(), 5);
    EXPECT_EQ(platform.exits, 1);
}

// A loop run from inside the handler (a modal dialog) finds it busy; what came meanwhile is
// handed over once it returns, in order.
TEST(LoopCore, NeverReentersTheHandlerAndCatchesUpAfterIt) {
    Platform platform;
    const auto core = platform.make_core();
    std::vector<std::string> seen;
    core->start([&](LoopEvent event, ControlFlow&) {
        seen.push_back(name_of(event));
        if (seen.size() > 1) return;
        (void)core->queue()->post(progress(1));
        (void)core->queue()->post(progress(2));
        platform.run_wakes();
        core->deliver(CloseRequested{});
        seen.push_back("back");
    });
    core->deliver(CloseRequested{});
    EXPECT_EQ(seen, (std::vector<std::string>{"close", "back", "1", "2"}));
    EXPECT_EQ(platform.exits, 0);
}

// What the handler owns may post while it goes away: the loop has ended, so it gets the
// event back.
TEST(LoopCore, ReleasesTheHandlerAfterClosingTheQueue) {
    Platform platform;
    const auto core = platform.make_core();
    struct Owned {
        std::shared_ptr<EventQueue> queue;
        bool* handed_back;
        ~Owned() { *handed_back = queue->post(Close{}).has_value(); }
    };
    bool handed_back = false;
    auto owned = std::make_shared<Owned>(core->queue(), &handed_back);
    core->start([owned = std::move(owned)](LoopEvent, ControlFlow&) {});
    EXPECT_FALSE(handed_back);
    core->finish();
    EXPECT_TRUE(handed_back);
    EXPECT_TRUE(core->queue()->post(Launch{}));
}

}  // namespace
}  // namespace zarn::toolkit
