#include <memory>
#include <string>

#include "toolkit/gtk/gtk_backend.h"

namespace zarn::toolkit {
namespace gtk {
namespace {

using CoreToken = std::weak_ptr<LoopCore>;

gboolean drain_now(gpointer token) {
    if (const auto core = static_cast<CoreToken*>(token)->lock()) core->drain();
    return G_SOURCE_REMOVE;
}

void drop_token(gpointer token) { std::unique_ptr<CoreToken>(static_cast<CoreToken*>(token)); }

bool schedule_drain(const CoreToken& core) {
    // g_idle_add_full may be called from any thread and wakes the default main context.
    auto token = std::make_unique<CoreToken>(core);
    return g_idle_add_full(G_PRIORITY_DEFAULT, &drain_now, token.release(), &drop_token) != 0;
}

void leave_gtk_main() {
    // Before gtk_main runs, run() itself sees the end and never enters it.
    if (gtk_main_level() > 0) gtk_main_quit();
}

class GtkEventLoop : public EventLoop {
public:
    GtkEventLoop() : core_(LoopCore::create({&schedule_drain, &leave_gtk_main})) {}

    Proxy proxy() override { return Proxy(core_->queue()); }

    Result<std::unique_ptr<Window>> create_window(const WindowSettings& settings) override;
    Result<std::unique_ptr<WebView>> create_web_view(Window& window, WebViewSettings settings) override;

    [[noreturn]] void run(Handler handler) override {
        core_->start(std::move(handler));
        if (!core_->exiting()) gtk_main();
        core_->finish();
        core_->end_process();
    }

private:
    std::shared_ptr<LoopCore> core_;
};

void set_icon(GtkWindow* window, const Icon& icon) {
    GBytes* pixels = g_bytes_new(icon.rgba.data(), icon.rgba.size());
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_bytes(pixels, GDK_COLORSPACE_RGB, TRUE, 8, static_cast<int>(icon.width),
                                                  static_cast<int>(icon.height), static_cast<int>(icon.width * 4));
    g_bytes_unref(pixels);
    if (pixbuf == nullptr) return;
    gtk_window_set_icon(window, pixbuf);
    g_object_unref(pixbuf);
}

bool icon_is_whole(const Icon& icon) {
    return icon.width > 0 && icon.height > 0 && icon.rgba.size() == std::size_t{icon.width} * icon.height * 4;
}

// The page talks to the program through window.ipc.postMessage, as it does on Windows.
constexpr const char* kIpcBridge =
    "Object.defineProperty(window, 'ipc', { value: Object.freeze({ postMessage: function(message) { "
    "window.webkit.messageHandlers.ipc.postMessage(String(message)); } }) });";

void add_main_frame_script(WebKitUserContentManager* content, const std::string& source) {
    WebKitUserScript* script = webkit_user_script_new(source.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, script);
    webkit_user_script_unref(script);
}

Result<std::unique_ptr<Window>> GtkEventLoop::create_window(const WindowSettings& settings) {
    GtkWidget* widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    if (widget == nullptr) return unexpected(Error{"GTK could not create a window"});
    auto window = ObjectRef<GtkWindow>::adopt(GTK_WINDOW(g_object_ref(widget)));

    gtk_window_set_title(window.get(), settings.title.c_str());
    gtk_window_set_decorated(window.get(), settings.decorations ? TRUE : FALSE);
    gtk_window_set_resizable(window.get(), settings.resizable ? TRUE : FALSE);
    // GTK counts in logical pixels and applies the monitor's scale itself.
    const int width = static_cast<int>(settings.logical_width + 0.5);
    const int height = static_cast<int>(settings.logical_height + 0.5);
    gtk_window_set_default_size(window.get(), width, height);
    if (!settings.resizable) gtk_widget_set_size_request(widget, width, height);
    if (settings.icon && icon_is_whole(*settings.icon)) set_icon(window.get(), *settings.icon);

    auto setup_window = std::make_unique<GtkSetupWindow>(std::move(window), core_);
    gtk_widget_show_all(widget);
    return std::unique_ptr<Window>(std::move(setup_window));
}

Result<std::unique_ptr<WebView>> GtkEventLoop::create_web_view(Window& window, WebViewSettings settings) {
    auto* host = dynamic_cast<GtkSetupWindow*>(&window);
    if (host == nullptr) return unexpected(Error{"the window was not made by the GTK event loop"});
    if (gtk_bin_get_child(GTK_BIN(host->widget())) != nullptr) {
        return unexpected(Error{"the window already holds a web view"});
    }

    auto content = ObjectRef<WebKitUserContentManager>::adopt(webkit_user_content_manager_new());
    if (!webkit_user_content_manager_register_script_message_handler(content.get(), "ipc")) {
        return unexpected(Error{"WebKit refused the page's message channel"});
    }
    add_main_frame_script(content.get(), kIpcBridge);
    add_main_frame_script(content.get(), settings.startup_script);

    auto view = std::make_unique<GtkSetupWebView>(std::move(content), std::move(settings.on_message));
    view->show_in(host->widget(), settings.html);
    return std::unique_ptr<WebView>(std::move(view));
}

}  // namespace

}  // namespace gtk

Result<std::unique_ptr<EventLoop>> create_event_loop() {
    if (!gtk_init_check(nullptr, nullptr)) {
        // GTK names the display only when it came from the command line; else it is DISPLAY's.
        const char* display = gdk_get_display_arg_name();
        if (display == nullptr) display = g_getenv("DISPLAY");
        if (display == nullptr || *display == '\0') return unexpected(Error{"no display: DISPLAY is not set"});
        return unexpected(Error{std::string("cannot open display: ") + display});
    }
    return std::unique_ptr<EventLoop>(std::make_unique<gtk::GtkEventLoop>());
}

}  // namespace zarn::toolkit
