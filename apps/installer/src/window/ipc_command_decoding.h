#pragma once

#include <string_view>

#include "engine/ipc_command.h"
#include "platform/result.h"

namespace zarn {

// Reads one page message: an object with the keys of IpcCommand, or an array of at most five
// elements in its field order. Strict: a repeated key of the record, a wrongly typed field (a
// null boolean included), a missing "cmd" or anything but white space after the value rejects
// the whole message. Other keys are passed over.
Result<IpcCommand> decode_ipc_command(std::string_view body);

}  // namespace zarn
