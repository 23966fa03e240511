#include "window/ipc_command_decoding.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace zarn {

void PrintTo(const IpcCommand& command, std::ostream* out) {
    *out << "{cmd \"" << command.cmd << "\", installDir "
         << (command.install_dir ? "\"" + *command.install_dir + "\"" : std::string("none")) << ", "
         << command.desktop_shortcut << command.start_menu_shortcut << command.autostart << "}";
}

namespace {

struct Case {
    std::string body;
    std::optional<IpcCommand> expected;  // none: rejected
};

IpcCommand command(std::string cmd, std::optional<std::string> dir = std::nullopt, bool desktop = false,
                   bool start_menu = false, bool autostart = false) {
    return {std::move(cmd), std::move(dir), desktop, start_menu, autostart};
}

const std::optional<IpcCommand> kRejected;

TEST(IpcCommandDecoding, DecodesOrRejects) {
    const Case cases[] = {
        // What the page posts.
        {R"({"cmd":"drag"})", command("drag")},
        {R"({"cmd":"browse_dir","installDir":"C:\\Users\\Ann\\ZARN"})", command("browse_dir", "C:\\Users\\Ann\\ZARN")},
        {R"({"cmd":"install","installDir":"D:\\Ann's ZARN","desktopShortcut":true,"startMenuShortcut":true,"autostart":true})",
         command("install", "D:\\Ann's ZARN", true, true, true)},
        {R"({"cmd":"install","installDir":"D:\\x","desktopShortcut":false,"startMenuShortcut":true,"autostart":false})",
         command("install", "D:\\x", false, true, false)},
        // Absent fields, nulls and the folder text as posted.
        {R"({"cmd":"install"})", command("install")},
        {R"({"cmd":"uninstall","installDir":null})", command("uninstall")},
        {R"({"installDir":"  D:\\A  ","cmd":"install"})", command("install", "  D:\\A  ")},
        {R"({"cmd":"install","installDir":""})", command("install", "")},
        {R"({"cmd":"close","desktopShortcut":null})", kRejected},
        {R"({"cmd":"close","autostart":1})", kRejected},
        {R"({"cmd":"close","startMenuShortcut":"true"})", kRejected},
        {R"({"cmd":"close","installDir":5})", kRejected},
        {R"({"cmd":null})", kRejected},
        {R"({"installDir":"D:\\x"})", kRejected},
        {"{}", kRejected},
        // Keys: exact, once each; other keys passed over whatever they hold.
        {R"({"cmd":"close","cmd":"close"})", kRejected},
        {R"({"cmd":"install","autostart":true,"autostart":true})", kRejected},
        {R"({"cmd":"install","installDir":null,"installDir":"D:\\x"})", kRejected},
        {R"({"cmd":"close","extra":{"a":[1,{"b":null}]},"extra":[],"Cmd":5,"INSTALLDIR":null})", command("close")},
        {R"({"CMD":"close"})", kRejected},
        {R"({"c\u006dd":"dr\u0061g"})", command("drag")},
        // A key passed over is read like any string; only the keys of the message itself are kept.
        {R"({"cmd":"close","x":{"\ud800":1},"y":[{"\udc00":"\ud800"}]})", command("close")},
        {R"({"cmd":"close","x":"\ud800"})", command("close")},
        {R"({"\ud800":1,"cmd":"close"})", kRejected},
        {R"({"cmd":"\ud800"})", kRejected},
        {R"({"cmd":"close","extra":[1,]})", kRejected},
        {R"({"cmd":"close","deep":)" + std::string(1000, '[') + std::string(1000, ']') + "}", command("close")},
        {R"({"cmd":"close","deep":)" + std::string(1000, '[') + std::string(999, ']') + "}", kRejected},
        // Commands outside the six still decode; the dispatch passes them over.
        {R"({"cmd":" Install"})", command(" Install")},
        // The list form.
        {R"(["install",null])", command("install")},
        {R"(["install","D:\\x",true,false,true])", command("install", "D:\\x", true, false, true)},
        {R"(["install","D:\\x",true])", command("install", "D:\\x", true)},
        {R"(["install"])", kRejected},
        {"[]", kRejected},
        {R"(["install","D:\\x",true,false,true,false])", kRejected},
        {R"(["install","D:\\x",null])", kRejected},
        {R"([null,"D:\\x"])", kRejected},
        {R"(["install","D:\\x",])", kRejected},
        // Around the value.
        {" \t\r\n{\"cmd\":\"launch\"} \n\t\r ", command("launch")},
        {R"({"cmd":"launch"}x)", kRejected},
        {R"({"cmd":"launch"}{"cmd":"launch"})", kRejected},
        {R"({"cmd":"launch"} // note)", kRejected},
        {"", kRejected},
        {" \n ", kRejected},
        {R"("launch")", kRejected},
        {"null", kRejected},
        {"true", kRejected},
        {"7", kRejected},
        {R"({"cmd":"launch")", kRejected},
        {R"({"cmd":'launch'})", kRejected},
    };
    for (const auto& c : cases) {
        const auto decoded = decode_ipc_command(c.body);
        const std::optional<IpcCommand> actual = decoded ? std::optional(*decoded) : std::nullopt;
        EXPECT_EQ(actual, c.expected) << c.body;
    }
}

}  // namespace
}  // namespace zarn
