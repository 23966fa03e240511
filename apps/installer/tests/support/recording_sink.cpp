#include "support/recording_sink.h"

#include <ostream>

#include "platform/path_text.h"

namespace zarn::test {

std::optional<UiEvent> RecordingSink::post(UiEvent event) {
    std::lock_guard lock(mutex_);
    if (closed_) return event;
    events_.push_back(std::move(event));
    return std::nullopt;
}

void RecordingSink::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
}

std::vector<UiEvent> RecordingSink::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

std::vector<Report> progress_reports(const std::vector<UiEvent>& events) {
    std::vector<Report> reports;
    for (const auto& event : events) {
        if (const auto* progress = std::get_if<Progress>(&event)) {
            reports.push_back({progress->step, progress->pct, progress->note, progress->state});
        }
    }
    return reports;
}

std::vector<Report> posted_events(const std::vector<UiEvent>& events) {
    static constexpr const char* kNames[] = {"Drag", "Close", "Progress", "SetDir", "Installed", "Launch"};
    std::vector<Report> posted;
    for (const auto& event : events) {
        if (const auto* progress = std::get_if<Progress>(&event)) {
            posted.push_back({progress->step, progress->pct, progress->note, progress->state});
        } else if (const auto* installed = std::get_if<Installed>(&event)) {
            posted.push_back({"Installed", -1, platform::path_to_utf8(installed->exe_path), ""});
        } else if (const auto* set_dir = std::get_if<SetDir>(&event)) {
            posted.push_back({"SetDir", -1, set_dir->dir.value_or(""), ""});
        } else {
            posted.push_back({kNames[event.index()], -1, "", ""});
        }
    }
    return posted;
}

void PrintTo(const Report& report, std::ostream* out) {
    *out << "{" << report.pct << ", \"" << report.step << "\", \"" << report.note << "\", " << report.state << "}";
}

}  // namespace zarn::test
