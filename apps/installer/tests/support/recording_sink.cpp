#include "support/recording_sink.h"

#include <ostream>

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

void PrintTo(const Report& report, std::ostream* out) {
    *out << "{" << report.pct << ", \"" << report.step << "\", \"" << report.note << "\", " << report.state << "}";
}

}  // namespace zarn::test
