// libFuzzer target: the page message decoder on arbitrary bodies. A message that decodes
// must decode the same once surrounded by white space, and never with text after it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "window/ipc_command_decoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const auto decoded = zarn::decode_ipc_command(body);
    if (!decoded) return 0;
    const auto padded = zarn::decode_ipc_command(" \n" + std::string(body) + "\t\r ");
    if (!padded || !(*padded == *decoded)) std::abort();
    if (zarn::decode_ipc_command(std::string(body) + "x")) std::abort();
    return 0;
}
