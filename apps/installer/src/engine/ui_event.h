#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace zarn {

struct Drag {};
struct Close {};
struct Progress {
    std::string step;
    std::uint8_t pct = 0;
    std::string note;
    std::string state;
};
struct SetDir {
    std::optional<std::string> dir;
};
struct Installed {
    std::filesystem::path exe_path;
};
struct Launch {};

// What any thread tells the main thread; handled there one at a time.
using UiEvent = std::variant<Drag, Close, Progress, SetDir, Installed, Launch>;

// The receiving end of the event loop, implemented by the window library.
class EventSink {
public:
    virtual ~EventSink() = default;
    // Queues the event and wakes the loop without blocking; hands the event back when the
    // loop can no longer be woken.
    virtual std::optional<UiEvent> post(UiEvent event) = 0;
};

// A handle of the event loop. Copying it gives another handle to the same loop.
class Proxy {
public:
    explicit Proxy(std::shared_ptr<EventSink> sink) : sink_(std::move(sink)) {}
    std::optional<UiEvent> post(UiEvent event) const { return sink_->post(std::move(event)); }

private:
    std::shared_ptr<EventSink> sink_;
};

// Report states.
inline constexpr std::string_view kWorking = "working";
inline constexpr std::string_view kError = "error";
inline constexpr std::string_view kDone = "done";

// Posts one progress report; an event that the loop hands back is dropped unreported.
void send_progress(const Proxy& proxy, std::string_view step, std::uint8_t pct, std::string_view note,
                   std::string_view state);

}  // namespace zarn
