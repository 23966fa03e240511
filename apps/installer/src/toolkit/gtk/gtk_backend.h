#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "toolkit/loop_core.h"
#include "toolkit/toolkit.h"

// The GTK 3 and WebKitGTK backend of the window library, used by the Linux host.
namespace zarn::toolkit::gtk {

// One strong reference to a GObject, dropped with the holder.
template <class T>
class ObjectRef {
public:
    ObjectRef() = default;
    // Takes over a reference the caller already owns.
    static ObjectRef adopt(T* object) { return ObjectRef(object); }
    ~ObjectRef() { reset(); }
    ObjectRef(ObjectRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ObjectRef& operator=(ObjectRef&& other) noexcept {
        if (this != &other) {
            reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    ObjectRef(const ObjectRef&) = delete;
    ObjectRef& operator=(const ObjectRef&) = delete;

    T* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    void reset() {
        if (object_ != nullptr) g_object_unref(std::exchange(object_, nullptr));
    }

private:
    explicit ObjectRef(T* object) : object_(object) {}
    T* object_ = nullptr;
};

class GtkSetupWindow : public Window {
public:
    GtkSetupWindow(ObjectRef<GtkWindow> window, std::weak_ptr<LoopCore> core);
    ~GtkSetupWindow() override;
    GtkSetupWindow(const GtkSetupWindow&) = delete;
    GtkSetupWindow& operator=(const GtkSetupWindow&) = delete;

    Result<void> drag() override;
    std::optional<Rect> monitor_rect() const override;
    Size outer_size() const override;
    void set_outer_position(Position position) override;

    GtkWindow* widget() const { return window_.get(); }

private:
    static gboolean on_delete(GtkWidget* widget, GdkEvent* event, gpointer self);

    ObjectRef<GtkWindow> window_;
    std::weak_ptr<LoopCore> core_;
    gulong delete_handler_ = 0;
};

class GtkSetupWebView : public WebView {
public:
    GtkSetupWebView(ObjectRef<WebKitUserContentManager> content, std::function<void(std::string)> on_message);
    ~GtkSetupWebView() override;
    GtkSetupWebView(const GtkSetupWebView&) = delete;
    GtkSetupWebView& operator=(const GtkSetupWebView&) = delete;

    // Puts the view into the window and loads the page.
    void show_in(GtkWindow* window, const std::string& html);

    Result<void> run_script(std::string_view script) override;

private:
    static void on_script_message(WebKitUserContentManager* content, WebKitJavascriptResult* result, gpointer self);

    ObjectRef<WebKitUserContentManager> content_;
    ObjectRef<WebKitWebView> view_;
    std::function<void(std::string)> on_message_;
    gulong message_handler_ = 0;
};

}  // namespace zarn::toolkit::gtk
