#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "engine/ui_event.h"

namespace zarn::test {

// An event loop that only records what is posted to it; once closed it hands events back.
class RecordingSink : public EventSink {
public:
    std::optional<UiEvent> post(UiEvent event) override;
    void close();
    std::vector<UiEvent> events() const;

private:
    mutable std::mutex mutex_;
    std::vector<UiEvent> events_;
    bool closed_ = false;
};

struct Recorder {
    std::shared_ptr<RecordingSink> sink = std::make_shared<RecordingSink>();
    Proxy proxy{sink};
};

// Progress reports as comparable tuples, for whole-sequence expectations.
struct Report {
    std::string step;
    int pct;
    std::string note;
    std::string state;
    friend bool operator==(const Report&, const Report&) = default;
};
std::vector<Report> progress_reports(const std::vector<UiEvent>& events);
// Every posted event in order, for checking a whole run: progress reports as above, `Installed`
// as {"Installed", -1, its path as UTF-8, ""}, any other event as {its name, -1, "", ""}.
std::vector<Report> posted_events(const std::vector<UiEvent>& events);
void PrintTo(const Report& report, std::ostream* out);

}  // namespace zarn::test
