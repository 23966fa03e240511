#include "engine/ui_event.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/recording_sink.h"

namespace zarn {
namespace {

using test::Recorder;
using test::Report;

TEST(SendProgress, PostsTheTextsUnchanged) {
    Recorder recorder;
    send_progress(recorder.proxy, "", 0, "", "working");
    send_progress(recorder.proxy, "Шаг «1»…", 250, "C:\\a \"b\"\n\tc", "error");

    EXPECT_EQ(test::progress_reports(recorder.sink->events()),
              (std::vector<Report>{{"", 0, "", "working"}, {"Шаг «1»…", 250, "C:\\a \"b\"\n\tc", "error"}}));
}

TEST(SendProgress, DropsAReportTheClosedLoopHandsBack) {
    Recorder recorder;
    recorder.sink->close();
    send_progress(recorder.proxy, "step", 10, "note", "working");
    EXPECT_TRUE(recorder.sink->events().empty());
}

TEST(SendProgress, KeepsTheOrderOfEachThread) {
    Recorder recorder;
    std::thread first([proxy = recorder.proxy] {
        for (int i = 0; i < 100; ++i) send_progress(proxy, "a", static_cast<std::uint8_t>(i), "", "working");
    });
    std::thread second([proxy = recorder.proxy] {
        for (int i = 0; i < 100; ++i) send_progress(proxy, "b", static_cast<std::uint8_t>(i), "", "working");
    });
    first.join();
    second.join();
    int next_a = 0;
    int next_b = 0;
    for (const auto& report : test::progress_reports(recorder.sink->events())) {
        EXPECT_EQ(report.pct, report.step == "a" ? next_a++ : next_b++);
    }
    EXPECT_EQ(next_a + next_b, 200);
}

}  // namespace
}  // namespace zarn
