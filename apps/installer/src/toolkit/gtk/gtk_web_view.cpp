#include "toolkit/gtk/gtk_backend.h"

namespace zarn::toolkit::gtk {

GtkSetupWebView::GtkSetupWebView(ObjectRef<WebKitUserContentManager> content,
                                 std::function<void(std::string)> on_message)
    : content_(std::move(content)), on_message_(std::move(on_message)) {
    message_handler_ = g_signal_connect(content_.get(), "script-message-received::ipc",
                                        G_CALLBACK(&GtkSetupWebView::on_script_message), this);
    GtkWidget* view = webkit_web_view_new_with_user_content_manager(content_.get());
    view_ = ObjectRef<WebKitWebView>::adopt(WEBKIT_WEB_VIEW(g_object_ref_sink(view)));
    // The same view as on Windows: no developer tools, so the default context menu, which
    // stays, has no "Inspect Element" either. WebKitGTK binds no zoom to Ctrl+wheel or to
    // Ctrl with plus, minus or 0, so there is no zoom shortcut to turn off.
    webkit_settings_set_enable_developer_extras(webkit_web_view_get_settings(view_.get()), FALSE);
}

GtkSetupWebView::~GtkSetupWebView() {
    g_signal_handler_disconnect(content_.get(), message_handler_);
    // The window, released first, has already taken the view off the screen.
    view_.reset();
    content_.reset();
}

void GtkSetupWebView::show_in(GtkWindow* window, const std::string& html) {
    gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view_.get()));
    gtk_widget_show(GTK_WIDGET(view_.get()));
    webkit_web_view_load_html(view_.get(), html.c_str(), nullptr);
}

void GtkSetupWebView::on_script_message(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self) {
    auto* web_view = static_cast<GtkSetupWebView*>(self);
    if (!web_view->on_message_) return;
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    char* text = jsc_value_to_string(value);
    std::string message = text != nullptr ? text : "";
    g_free(text);
    web_view->on_message_(std::move(message));
}

Result<void> GtkSetupWebView::run_script(std::string_view script) {
    // No callback: the result is not waited for.
    webkit_web_view_evaluate_javascript(view_.get(), script.data(), static_cast<gssize>(script.size()), nullptr,
                                        nullptr, nullptr, nullptr, nullptr);
    return {};
}

}  // namespace zarn::toolkit::gtk
