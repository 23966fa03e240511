#include "window/event_loop_handler.h"

#include <utility>

#include "platform/process.h"
#include "window/page_scripts.h"

namespace zarn {
namespace {

class UiEventHandler {
public:
    UiEventHandler(EventLoopState& state, toolkit::ControlFlow& control_flow)
        : state_(state), control_flow_(control_flow) {}

    void operator()(Drag) {
        if (state_.window) static_cast<void>(state_.window->drag());
    }
    void operator()(Close) { control_flow_.set_exit(0); }
    void operator()(Progress& progress) { run_script(progress_script(progress)); }
    void operator()(SetDir& set_dir) { run_script(folder_script(set_dir.dir)); }
    void operator()(Installed& installed) { state_.installed_exe = std::move(installed.exe_path); }
    void operator()(Launch) {
        // The client runs on after this program; whether it could start changes nothing here.
        if (state_.installed_exe) static_cast<void>(platform::start_detached(*state_.installed_exe));
        control_flow_.set_exit(0);
    }

private:
    void run_script(const std::string& script) {
        if (state_.webview) static_cast<void>(state_.webview->run_script(script));
    }

    EventLoopState& state_;
    toolkit::ControlFlow& control_flow_;
};

}  // namespace

void handle_event(EventLoopState& state, toolkit::LoopEvent event, toolkit::ControlFlow& control_flow) {
    control_flow.set_wait();
    if (auto* ui_event = std::get_if<UiEvent>(&event)) {
        std::visit(UiEventHandler(state, control_flow), *ui_event);
    } else if (std::holds_alternative<toolkit::CloseRequested>(event)) {
        control_flow.set_exit(0);
    }
}

}  // namespace zarn
