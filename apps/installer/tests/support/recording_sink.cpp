#include "support/recording_sink.h"

#include <ostream>
#include <type_traits>

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
    std::vector<Report> posted;
    for (const auto& event : events) {
        std::visit(
            [&](const auto& value) {
                using Kind = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<Kind, Progress>) {
                    posted.push_back({value.step, value.pct, value.note, value.state});
                } else if constexpr (std::is_same_v<Kind, Installed>) {
                    posted.push_back({"Installed", -1, platform::path_to_utf8(value.exe_path), ""});
                } else if constexpr (std::is_same_v<Kind, SetDir>) {
                    posted.push_back({"SetDir", -1, value.dir.value_or(""), ""});
                } else {
                    posted.push_back({std::is_same_v<Kind, Drag> ? "Drag" : std::is_same_v<Kind, Close> ? "Close" : "Launch",
                                      -1, "", ""});
                }
            },
            event);
    }
    return posted;
}

void PrintTo(const Report& report, std::ostream* out) {
    *out << "{" << report.pct << ", \"" << report.step << "\", \"" << report.note << "\", " << report.state << "}";
}

}  // namespace zarn::test
