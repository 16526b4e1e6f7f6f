// The GTK 3 host: one undecorated GtkWindow per skinned window. A
// GtkDrawingArea inside a GtkFixed receives the painting and the mouse; Edit
// controls get real GtkEntry widgets placed over them. With a compositor the
// window has an RGBA visual and a transparent margin for the drop shadow and
// the round corners; without one it is an opaque rectangle.
#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include "ui/controls.h"
#include "ui/host.h"
#include "ui/paint_manager.h"
#include "ui/render.h"
#include "ui/shadow_wnd.h"
#include "ui/skin_window.h"
#include "ui/toolkit.h"
#include "utils/text.h"

namespace qui {

std::unique_ptr<NativeWindow> CreateHeadlessWindow(Size size);

namespace {

bool g_gtkReady = false;

WPARAM KeyvalToVk(guint keyval) {
  switch (keyval) {
    case GDK_KEY_Escape:
      return VK_ESCAPE;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
      return VK_RETURN;
    case GDK_KEY_space:
      return VK_SPACE;
    case GDK_KEY_Tab:
      return VK_TAB;
    case GDK_KEY_BackSpace:
      return VK_BACK;
    case GDK_KEY_F4:
      return VK_F4;
    default:
      break;
  }
  guint32 ch = gdk_keyval_to_unicode(keyval);
  if (ch >= 'a' && ch <= 'z') return ch - 'a' + 'A';
  return ch;
}

class GtkEditPeer : public EditPeer {
 public:
  GtkEditPeer(GtkFixed* fixed, Edit* edit, const FontInfo& font, Color color, const Rect* margin)
      : fixed_(fixed), margin_(margin) {
    entry_ = gtk_entry_new();
    gtk_entry_set_has_frame(GTK_ENTRY(entry_), FALSE);
    if (edit->GetMaxChar() > 0) gtk_entry_set_max_length(GTK_ENTRY(entry_), edit->GetMaxChar());
    gtk_editable_set_editable(GTK_EDITABLE(entry_), !edit->IsReadOnly());
    Rect pad = edit->GetTextPadding();
    char css[512];
    g_snprintf(css, sizeof(css),
               "entry { background: transparent; border: none; box-shadow: none; min-height: 0;"
               " padding: %dpx %dpx %dpx %dpx; color: rgba(%d,%d,%d,%.3f); font-size: %dpx; }",
               pad.top, pad.right, pad.bottom, pad.left, (color >> 16) & 0xFF, (color >> 8) & 0xFF,
               color & 0xFF, ((color >> 24) & 0xFF) / 255.0, font.size);
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, css, -1, nullptr);
    gtk_style_context_add_provider(gtk_widget_get_style_context(entry_),
                                   GTK_STYLE_PROVIDER(provider),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
    gtk_fixed_put(fixed_, entry_, 0, 0);
    g_signal_connect(entry_, "changed", G_CALLBACK(+[](GtkEditable*, gpointer data) {
                       static_cast<Edit*>(data)->OnPeerTextChanged();
                     }),
                     edit);
  }
  ~GtkEditPeer() override {
    if (entry_) gtk_widget_destroy(entry_);
  }
  std::wstring GetText() const override {
    return Utils::MultiByteToWide(gtk_entry_get_text(GTK_ENTRY(entry_)), Utils::kCodePageUtf8);
  }
  void SetText(const std::wstring& text) override {
    std::string utf8 = Utils::WideToMultiByte(text, Utils::kCodePageUtf8);
    gtk_entry_set_text(GTK_ENTRY(entry_), utf8.c_str());
  }
  void Place(const Rect& rect, bool visible, bool enabled) override {
    gtk_fixed_move(fixed_, entry_, rect.left + margin_->left, rect.top + margin_->top);
    gtk_widget_set_size_request(entry_, std::max(1, rect.Width()), std::max(1, rect.Height()));
    gtk_widget_set_sensitive(entry_, enabled);
    gtk_widget_set_visible(entry_, visible);
  }
  void Focus() override { gtk_widget_grab_focus(entry_); }

 private:
  GtkFixed* fixed_;
  GtkWidget* entry_ = nullptr;
  const Rect* margin_;  // the window's shadow margin, read at each placement
};

class GtkNativeWindow : public NativeWindow {
 public:
  GtkNativeWindow(SkinWindowBase* owner, SkinWindowBase* parent, Size size,
                  const std::wstring& title)
      : window_(owner), size_(size) {
    widget_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    std::string utf8 = Utils::WideToMultiByte(title, Utils::kCodePageUtf8);
    gtk_window_set_title(GTK_WINDOW(widget_), utf8.c_str());
    std::string cls = Utils::WideToMultiByte(owner->GetWindowClassName(), Utils::kCodePageUtf8);
    gtk_widget_set_name(widget_, cls.c_str());
    gtk_window_set_decorated(GTK_WINDOW(widget_), FALSE);
    gtk_window_set_resizable(GTK_WINDOW(widget_), FALSE);
    gtk_widget_set_app_paintable(widget_, TRUE);
    composited_ = GtkHostIsComposited();
    if (composited_) {
      if (GdkVisual* rgba = gdk_screen_get_rgba_visual(gtk_widget_get_screen(widget_))) {
        gtk_widget_set_visual(widget_, rgba);
      } else {
        composited_ = false;
      }
    }
    if (parent) {
      // The parent's GtkWindow is reached through its native window.
      if (auto* p = FindGtk(parent)) gtk_window_set_transient_for(GTK_WINDOW(widget_), p);
    }
    fixed_ = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(widget_), fixed_);
    area_ = gtk_drawing_area_new();
    gtk_widget_add_events(area_, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                     GDK_POINTER_MOTION_MASK | GDK_LEAVE_NOTIFY_MASK);
    gtk_fixed_put(GTK_FIXED(fixed_), area_, 0, 0);
    ApplySize();
    g_signal_connect(area_, "draw", G_CALLBACK(&GtkNativeWindow::OnDraw), this);
    g_signal_connect(area_, "button-press-event", G_CALLBACK(&GtkNativeWindow::OnButton), this);
    g_signal_connect(area_, "button-release-event", G_CALLBACK(&GtkNativeWindow::OnButton), this);
    g_signal_connect(area_, "motion-notify-event", G_CALLBACK(&GtkNativeWindow::OnMotion), this);
    g_signal_connect(area_, "leave-notify-event", G_CALLBACK(&GtkNativeWindow::OnLeave), this);
    g_signal_connect(widget_, "key-press-event", G_CALLBACK(&GtkNativeWindow::OnKey), this);
    g_signal_connect(widget_, "delete-event", G_CALLBACK(&GtkNativeWindow::OnDelete), this);
    g_signal_connect(widget_, "window-state-event", G_CALLBACK(&GtkNativeWindow::OnState), this);
    g_signal_connect(widget_, "configure-event", G_CALLBACK(&GtkNativeWindow::OnConfigure), this);
    destroyHandler_ =
        g_signal_connect(widget_, "destroy", G_CALLBACK(&GtkNativeWindow::OnDestroy), this);
    gtk_widget_show(fixed_);
    gtk_widget_show(area_);
    Registry().push_back({owner, GTK_WINDOW(widget_)});
  }

  ~GtkNativeWindow() override {
    auto& reg = Registry();
    for (auto it = reg.begin(); it != reg.end(); ++it) {
      if (it->first == window_) {
        reg.erase(it);
        break;
      }
    }
    if (widget_) {
      g_signal_handler_disconnect(widget_, destroyHandler_);
      g_signal_handlers_disconnect_by_data(widget_, this);
      g_signal_handlers_disconnect_by_data(area_, this);
      gtk_widget_destroy(widget_);
    }
  }

  void Show(bool show) override {
    if (show) {
      gtk_widget_show(widget_);
      gtk_window_move(GTK_WINDOW(widget_), x_ - margin_.left, y_ - margin_.top);
    } else {
      gtk_widget_hide(widget_);
    }
  }
  Rect GetRect() const override { return {x_, y_, x_ + size_.cx, y_ + size_.cy}; }
  void Move(int x, int y) override {
    x_ = x;
    y_ = y;
    gtk_window_move(GTK_WINDOW(widget_), x - margin_.left, y - margin_.top);
  }
  void Invalidate(const Rect& rect) override {
    gtk_widget_queue_draw_area(area_, rect.left + margin_.left, rect.top + margin_.top,
                               rect.Width(), rect.Height());
  }
  void BeginMoveDrag(Point) override {
    gtk_window_begin_move_drag(GTK_WINDOW(widget_), 1, lastRootX_, lastRootY_, lastTime_);
  }
  void Minimize() override { gtk_window_iconify(GTK_WINDOW(widget_)); }
  void Maximize() override { gtk_window_maximize(GTK_WINDOW(widget_)); }
  void Restore() override {
    gtk_window_deiconify(GTK_WINDOW(widget_));
    gtk_window_unmaximize(GTK_WINDOW(widget_));
  }
  bool IsMinimized() const override { return minimized_; }
  void SetModal(bool modal) override { gtk_window_set_modal(GTK_WINDOW(widget_), modal); }
  void Raise() override { gtk_window_present(GTK_WINDOW(widget_)); }
  bool SetIconPng(std::span<const uint8_t> png) override {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    bool ok = gdk_pixbuf_loader_write(loader, png.data(), png.size(), nullptr) &&
              gdk_pixbuf_loader_close(loader, nullptr);
    if (ok) {
      GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
      if (pixbuf) {
        gtk_window_set_icon(GTK_WINDOW(widget_), pixbuf);
      } else {
        ok = false;
      }
    } else {
      gdk_pixbuf_loader_close(loader, nullptr);
    }
    g_object_unref(loader);
    return ok;
  }
  Rect WorkArea() const override {
    GdkDisplay* display = gtk_widget_get_display(widget_);
    GdkMonitor* monitor = nullptr;
    if (GdkWindow* w = gtk_widget_get_window(widget_)) {
      monitor = gdk_display_get_monitor_at_window(display, w);
    }
    if (!monitor) monitor = gdk_display_get_primary_monitor(display);
    if (!monitor && gdk_display_get_n_monitors(display) > 0) {
      monitor = gdk_display_get_monitor(display, 0);
    }
    if (!monitor) return {0, 0, 1024, 768};
    GdkRectangle r;
    gdk_monitor_get_workarea(monitor, &r);
    return {r.x, r.y, r.x + r.width, r.y + r.height};
  }
  std::unique_ptr<EditPeer> CreateEditPeer(Edit* edit) override {
    Color color = edit->GetTextColor() ? edit->GetTextColor() : 0xFF000000u;
    const FontInfo& font = window_->GetPaintManager().GetFont(edit->GetFont());
    return std::make_unique<GtkEditPeer>(GTK_FIXED(fixed_), edit, font, color, &margin_);
  }
  std::optional<std::wstring> PickFolder(const std::wstring& title) override {
    std::string utf8 = Utils::WideToMultiByte(title, Utils::kCodePageUtf8);
    GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
        utf8.c_str(), GTK_WINDOW(widget_), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, nullptr, nullptr);
    std::optional<std::wstring> result;
    if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
      if (char* folder = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser))) {
        result = Utils::MultiByteToWide(folder, Utils::kCodePageUtf8);
        g_free(folder);
      }
    }
    g_object_unref(chooser);
    return result;
  }
  void SetShadow(const CShadowWnd* shadow, Size roundCorner) override {
    shadow_ = shadow;
    round_ = roundCorner;
    if (!composited_ || !shadow) return;
    // Edit entries read the margin at each placement (next layout pass).
    margin_ = shadow->Margins();
    ApplySize();
  }

  static GtkWindow* FindGtk(SkinWindowBase* window) {
    for (auto& [w, gtk] : Registry()) {
      if (w == window) return gtk;
    }
    return nullptr;
  }

 private:
  static std::vector<std::pair<SkinWindowBase*, GtkWindow*>>& Registry() {
    static std::vector<std::pair<SkinWindowBase*, GtkWindow*>> registry;
    return registry;
  }

  void ApplySize() {
    int w = size_.cx + margin_.left + margin_.right;
    int h = size_.cy + margin_.top + margin_.bottom;
    gtk_widget_set_size_request(area_, w, h);
    gtk_window_resize(GTK_WINDOW(widget_), w, h);
    if (composited_) {
      // Clicks on the shadow margin fall through to the windows below.
      cairo_rectangle_int_t content{margin_.left, margin_.top, size_.cx, size_.cy};
      cairo_region_t* region = cairo_region_create_rectangle(&content);
      gtk_widget_input_shape_combine_region(widget_, region);
      cairo_region_destroy(region);
    }
  }

  Point ToClient(double x, double y) const {
    return {static_cast<int>(x) - margin_.left, static_cast<int>(y) - margin_.top};
  }

  static gboolean OnDraw(GtkWidget*, cairo_t* cr, GtkNativeWindow* self) {
    double x1, y1, x2, y2;
    cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
    Rect content{self->margin_.left, self->margin_.top, self->margin_.left + self->size_.cx,
                 self->margin_.top + self->size_.cy};
    if (self->composited_) {
      cairo_save(cr);
      cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
      cairo_set_source_rgba(cr, 0, 0, 0, 0);
      cairo_paint(cr);
      cairo_restore(cr);
      if (self->shadow_) self->shadow_->Paint(cr, content, self->round_);
      RoundedRectPath(cr, content.left, content.top, content.Width(), content.Height(),
                      self->round_.cx, self->round_.cy);
      cairo_clip(cr);
    }
    cairo_translate(cr, self->margin_.left, self->margin_.top);
    Rect dirty{static_cast<int>(x1) - self->margin_.left, static_cast<int>(y1) - self->margin_.top,
               static_cast<int>(x2 + 1) - self->margin_.left,
               static_cast<int>(y2 + 1) - self->margin_.top};
    self->window_->HostPaint(cr, dirty);
    return TRUE;
  }

  static gboolean OnButton(GtkWidget*, GdkEventButton* event, GtkNativeWindow* self) {
    if (event->button != 1) return FALSE;
    self->lastRootX_ = static_cast<int>(event->x_root);
    self->lastRootY_ = static_cast<int>(event->y_root);
    self->lastTime_ = event->time;
    Point pt = self->ToClient(event->x, event->y);
    if (event->type == GDK_BUTTON_PRESS) {
      self->window_->HostButtonDown(pt);
    } else if (event->type == GDK_BUTTON_RELEASE) {
      self->window_->HostButtonUp(pt);
    }
    return TRUE;
  }

  static gboolean OnMotion(GtkWidget*, GdkEventMotion* event, GtkNativeWindow* self) {
    self->window_->HostMouseMove(self->ToClient(event->x, event->y));
    return TRUE;
  }

  static gboolean OnLeave(GtkWidget*, GdkEventCrossing*, GtkNativeWindow* self) {
    self->window_->HostMouseLeave();
    return FALSE;
  }

  static gboolean OnKey(GtkWidget* widget, GdkEventKey* event, GtkNativeWindow* self) {
    if (event->keyval == GDK_KEY_F4 && (event->state & GDK_MOD1_MASK)) {
      self->window_->HostCloseRequest();
      return TRUE;
    }
    WPARAM vk = KeyvalToVk(event->keyval);
    GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(widget));
    bool entryFocused = focus && GTK_IS_ENTRY(focus);
    if (vk == VK_ESCAPE || !entryFocused) {
      self->window_->HostKeyDown(vk);
      return TRUE;
    }
    return FALSE;  // the entry types
  }

  static gboolean OnDelete(GtkWidget*, GdkEvent*, GtkNativeWindow* self) {
    self->window_->HostCloseRequest();
    return TRUE;  // the window decides through WM_CLOSE
  }

  static gboolean OnState(GtkWidget*, GdkEventWindowState* event, GtkNativeWindow* self) {
    self->minimized_ = (event->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
    return FALSE;
  }

  static gboolean OnConfigure(GtkWidget*, GdkEventConfigure* event, GtkNativeWindow* self) {
    self->x_ = event->x + self->margin_.left;
    self->y_ = event->y + self->margin_.top;
    return FALSE;
  }

  static void OnDestroy(GtkWidget*, GtkNativeWindow* self) {
    self->widget_ = nullptr;
    self->window_->HostDestroyed();
  }

  SkinWindowBase* window_;
  Size size_;
  GtkWidget* widget_ = nullptr;
  GtkWidget* fixed_ = nullptr;
  GtkWidget* area_ = nullptr;
  gulong destroyHandler_ = 0;
  bool composited_ = false;
  bool minimized_ = false;
  const CShadowWnd* shadow_ = nullptr;
  Size round_;
  Rect margin_;
  int x_ = 0, y_ = 0;
  int lastRootX_ = 0, lastRootY_ = 0;
  guint32 lastTime_ = GDK_CURRENT_TIME;
};

}  // namespace

bool InitGtkHost() {
  if (g_gtkReady) return true;
  g_gtkReady = gtk_init_check(nullptr, nullptr);
  return g_gtkReady;
}

bool GtkHostIsComposited() {
  if (!g_gtkReady) return false;
  GdkScreen* screen = gdk_screen_get_default();
  return screen && gdk_screen_is_composited(screen);
}

std::unique_ptr<NativeWindow> CreateNativeWindow(SkinWindowBase* window, SkinWindowBase* owner,
                                                 Size size, const std::wstring& title) {
  if (Toolkit::IsHeadless()) return CreateHeadlessWindow(size);
  return std::make_unique<GtkNativeWindow>(window, owner, size, title);
}

}  // namespace qui
