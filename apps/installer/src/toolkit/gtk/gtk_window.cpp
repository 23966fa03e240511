#include <cmath>

#include "toolkit/gtk/gtk_backend.h"

namespace zarn::toolkit::gtk {

GtkSetupWindow::GtkSetupWindow(ObjectRef<GtkWindow> window, std::weak_ptr<LoopCore> core)
    : window_(std::move(window)), core_(std::move(core)) {
    delete_handler_ = g_signal_connect(window_.get(), "delete-event", G_CALLBACK(&GtkSetupWindow::on_delete), this);
}

GtkSetupWindow::~GtkSetupWindow() {
    g_signal_handler_disconnect(window_.get(), delete_handler_);
    gtk_widget_destroy(GTK_WIDGET(window_.get()));
}

gboolean GtkSetupWindow::on_delete(GtkWidget*, GdkEvent*, gpointer self) {
    if (const auto core = static_cast<GtkSetupWindow*>(self)->core_.lock()) core->deliver(CloseRequested{});
    // The window stays until the handler's state lets go of it.
    return TRUE;
}

Result<void> GtkSetupWindow::drag() {
    GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(window_.get()));
    if (surface == nullptr) return unexpected(Error{"the window is not on the screen"});
    GdkSeat* seat = gdk_display_get_default_seat(gdk_window_get_display(surface));
    GdkDevice* pointer = seat != nullptr ? gdk_seat_get_pointer(seat) : nullptr;
    if (pointer == nullptr) return unexpected(Error{"there is no pointer to drag with"});
    int x = 0;
    int y = 0;
    gdk_device_get_position(pointer, nullptr, &x, &y);
    // The press that asked for the drag has already been handled by the page, so there is
    // usually no current event; the server's current time then stands in for it.
    gtk_window_begin_move_drag(window_.get(), 1, x, y, gtk_get_current_event_time());
    return {};
}

std::optional<Rect> GtkSetupWindow::monitor_rect() const {
    GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(window_.get()));
    if (surface == nullptr) return std::nullopt;
    GdkMonitor* monitor = gdk_display_get_monitor_at_window(gdk_window_get_display(surface), surface);
    if (monitor == nullptr) return std::nullopt;
    GdkRectangle area{};
    gdk_monitor_get_geometry(monitor, &area);
    const int scale = gdk_monitor_get_scale_factor(monitor);
    return Rect{{area.x * scale, area.y * scale},
                {static_cast<std::uint32_t>(area.width * scale), static_cast<std::uint32_t>(area.height * scale)}};
}

Size GtkSetupWindow::outer_size() const {
    GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(window_.get()));
    if (surface == nullptr) return {};
    GdkRectangle frame{};
    gdk_window_get_frame_extents(surface, &frame);
    const int scale = gdk_window_get_scale_factor(surface);
    return {static_cast<std::uint32_t>(frame.width * scale), static_cast<std::uint32_t>(frame.height * scale)};
}

void GtkSetupWindow::set_outer_position(Position position) {
    GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(window_.get()));
    const int scale = surface != nullptr ? gdk_window_get_scale_factor(surface) : 1;
    // With the default north-west gravity GTK places the frame's corner here.
    gtk_window_move(window_.get(), position.x / scale, position.y / scale);
}

}  // namespace zarn::toolkit::gtk
