// The pure part of finding the installed WebView2 runtime: its version from the registered
// folder, the DLL's path, and which registration is used.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "toolkit/win32/webview2_runtime.h"

namespace zarn::toolkit::win32 {
namespace {

TEST(WebView2Runtime, VersionIsTheFolderNamesFourNumbers) {
    struct Case {
        const wchar_t* folder;
        std::optional<RuntimeVersion> version;
    };
    const Case cases[] = {
        {L"C:\\Program Files (x86)\\Microsoft\\EdgeWebView\\Application\\130.0.2849.80", RuntimeVersion{{130, 0, 2849, 80}}},
        {L"C:\\Users\\Я\\AppData\\Local\\Microsoft\\EdgeWebView\\Application\\86.0.616.0\\", RuntimeVersion{{86, 0, 616, 0}}},
        {L"C:/EdgeWebView/Application/4294967295.0.0.1", RuntimeVersion{{4294967295u, 0, 0, 1}}},
        {L"120.0.2210.144", RuntimeVersion{{120, 0, 2210, 144}}},
        {L"C:\\EdgeWebView\\Application\\4294967296.0.0.1", std::nullopt},
        {L"C:\\EdgeWebView\\Application\\130.0.2849", std::nullopt},
        {L"C:\\EdgeWebView\\Application\\130.0.2849.80.1", std::nullopt},
        {L"C:\\EdgeWebView\\Application\\130.0..80", std::nullopt},
        {L"C:\\EdgeWebView\\Application\\130.0.2849.80 ", std::nullopt},
        {L"C:\\EdgeWebView\\Application\\+130.0.2849.80", std::nullopt},
        {L"C:\\EdgeWebView\\130.0.2849.80\\Application", std::nullopt},
        {L"", std::nullopt},
    };
    for (const auto& [folder, version] : cases) {
        EXPECT_EQ(version_of_folder(folder), version) << std::wstring(folder).size();
    }
}

TEST(WebView2Runtime, VersionsCompareNumberByNumberNotAsText) {
    EXPECT_LT((RuntimeVersion{{86, 0, 615, 99}}), kMinimumRuntimeVersion);
    EXPECT_LT((RuntimeVersion{{85, 9, 9999, 0}}), kMinimumRuntimeVersion);
    EXPECT_FALSE((RuntimeVersion{{86, 0, 616, 0}}) < kMinimumRuntimeVersion);
    EXPECT_LT((RuntimeVersion{{99, 0, 1150, 38}}), (RuntimeVersion{{100, 0, 1185, 36}}));
    EXPECT_LT((RuntimeVersion{{130, 0, 2849, 9}}), (RuntimeVersion{{130, 0, 2849, 80}}));
    EXPECT_EQ(version_text(RuntimeVersion{{130, 0, 2849, 80}}), "130.0.2849.80");
    EXPECT_EQ(version_text(kMinimumRuntimeVersion), "86.0.616.0");
}

TEST(WebView2Runtime, TheDllLiesInTheFoldersX64Subfolder) {
    EXPECT_EQ(runtime_dll_path(L"C:\\Program Files (x86)\\Microsoft\\EdgeWebView\\Application\\130.0.2849.80"),
              L"C:\\Program Files (x86)\\Microsoft\\EdgeWebView\\Application\\130.0.2849.80\\EBWebView\\x64\\"
              L"EmbeddedBrowserWebView.dll");
    EXPECT_EQ(runtime_dll_path(L"D:\\Runtime\\86.0.616.0\\"), L"D:\\Runtime\\86.0.616.0\\EBWebView\\x64\\EmbeddedBrowserWebView.dll");
}

TEST(WebView2Runtime, TheFirstRegistrationNewEnoughIsUsedElseTheReasonIsNamed) {
    const std::wstring machine = L"C:\\Program Files (x86)\\Microsoft\\EdgeWebView\\Application\\130.0.2849.80";
    const std::wstring user = L"C:\\Users\\u\\AppData\\Local\\Microsoft\\EdgeWebView\\Application\\131.0.2903.70";
    const std::wstring old_machine = L"C:\\Program Files (x86)\\Microsoft\\EdgeWebView\\Application\\85.0.564.44";
    const std::wstring older_user = L"C:\\Users\\u\\AppData\\Local\\Microsoft\\EdgeWebView\\Application\\84.0.522.63";
    const std::wstring nameless = L"C:\\Program Files (x86)\\Microsoft\\EdgeWebView\\Application\\current";
    struct Case {
        std::vector<std::wstring> registered;
        std::wstring chosen;  // empty: none, then `error` is the text
        std::string error;
    };
    const Case cases[] = {
        {{machine, user}, machine, ""},
        {{user}, user, ""},
        {{old_machine, user}, user, ""},
        {{nameless, user}, user, ""},
        {{}, L"", "no WebView2 runtime is installed"},
        {{old_machine}, L"", "the installed WebView2 runtime 85.0.564.44 is too old: 86.0.616.0 or later is needed"},
        {{older_user, old_machine}, L"", "the installed WebView2 runtime 85.0.564.44 is too old: 86.0.616.0 or later is needed"},
        {{nameless}, L"",
         "no WebView2 runtime is installed: the registered folder C:\\Program Files (x86)\\Microsoft\\EdgeWebView\\"
         "Application\\current names no version"},
    };
    for (const auto& [registered, chosen, error] : cases) {
        const auto result = choose_runtime(registered);
        if (chosen.empty()) {
            ASSERT_FALSE(result) << registered.size();
            EXPECT_EQ(result.error().text, error);
        } else {
            ASSERT_TRUE(result) << result.error().text;
            EXPECT_EQ(result->folder, chosen);
            EXPECT_EQ(result->version, version_of_folder(chosen));
        }
    }
}

}  // namespace
}  // namespace zarn::toolkit::win32
