#include "window/ipc_command_decoding.h"

#include <array>

#include "engine/strict_json.h"
#include "platform/byte_stream.h"

namespace zarn {
namespace {

// "installDir" may be absent from an object, but the array form must reach it; the
// booleans may be absent from either.
constexpr std::array<json::Field, 5> kFields{{
    {"cmd"},
    {"installDir", false, true},
    {"desktopShortcut", false, false},
    {"startMenuShortcut", false, false},
    {"autostart", false, false},
}};

}  // namespace

Result<IpcCommand> decode_ipc_command(std::string_view body) {
    platform::MemoryByteStream stream(body);
    // The message's other keys are passed over however deeply their values nest; the skip
    // keeps its brackets on the heap, so no depth reaches into the stack.
    json::Reader reader(stream, json::SkippedDepth::Unlimited);
    IpcCommand command;
    const auto read = json::read_record(reader, "struct IpcCommand", kFields, [&](std::size_t field) {
        switch (field) {
            case 0: return json::assign(command.cmd, reader.read_string());
            case 1: return json::assign(command.install_dir, reader.read_string_or_null());
            case 2: return json::assign(command.desktop_shortcut, reader.read_bool());
            case 3: return json::assign(command.start_menu_shortcut, reader.read_bool());
            default: return json::assign(command.autostart, reader.read_bool());
        }
    });
    if (!read) return unexpected(read.error());
    if (auto end = reader.read_end(); !end) return unexpected(end.error());
    return command;
}

}  // namespace zarn
