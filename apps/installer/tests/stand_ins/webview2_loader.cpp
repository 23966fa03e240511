// A stand-in for WebView2Loader.dll on a machine without the WebView2 runtime: the entry
// point answers as the loader does when it finds no installed runtime.
#include <windows.h>
#include <unknwn.h>

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR /*browser_executable_folder*/, PCWSTR /*user_data_folder*/, IUnknown* /*environment_options*/,
    IUnknown* /*environment_created_handler*/) {
    return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}
