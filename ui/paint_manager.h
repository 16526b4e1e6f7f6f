// PaintManager: the per-window state of the control tree. It owns the root
// control, the fonts and the decoded images of the window, tracks hot, pushed
// and focused controls, runs the per-control timers and delivers
// notifications to the window.
//
// Threads: everything runs on the UI thread, except SendNotify(..., async =
// true), which any thread may call (the notification is queued and delivered
// on the UI thread in posting order).
#pragma once

#include <cairo.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ui/control.h"
#include "ui/types.h"

namespace qui {

class DispatchQueue;
class SkinArchive;

class INotify {
 public:
  virtual ~INotify() = default;
  virtual void Notify(Notification& msg) = 0;
};

struct FontInfo {
  std::wstring face;
  int size = 12;  // pixels
  bool bold = false;
  bool underline = false;
  bool italic = false;
};

// Attributes of the layout's root "Window" element.
struct WindowAttributes {
  Size size;              // "size"
  Rect caption;           // "caption": the top band of caption.bottom pixels drags the window
  Size roundCorner;       // "roundcorner"
  Size minSize, maxSize;  // "mininfo", "maxinfo"
  std::map<std::wstring, std::wstring> all;  // every attribute as written (lower-case names)
};

class PaintManager {
 public:
  // `resources` supplies layouts and images; `queue` carries queued work to
  // the UI thread (shared with the window's posted messages).
  PaintManager(std::shared_ptr<SkinArchive> resources, std::shared_ptr<DispatchQueue> queue);
  ~PaintManager();
  PaintManager(const PaintManager&) = delete;
  PaintManager& operator=(const PaintManager&) = delete;

  // --- Control tree ------------------------------------------------------
  // Takes the root, attaches every control and calls DoInit on each (parents
  // first). Replaces (and destroys) an earlier root.
  void AttachRoot(std::unique_ptr<Control> root);
  Control* GetRoot() const { return root_.get(); }
  Control* FindControl(const std::wstring& name) const;
  Control* FindControlAt(Point pt) const;
  WindowAttributes& GetWindowAttributes() { return windowAttributes_; }
  const WindowAttributes& GetWindowAttributes() const { return windowAttributes_; }

  // --- Notifications -----------------------------------------------------
  void AddNotifier(INotify* sink);
  void RemoveNotifier(INotify* sink);
  // Synchronous (async = false; UI thread): every sink is called before the
  // call returns. Queued (async = true; any thread): delivered later on the
  // UI thread; dropped when the sender is destroyed first or the window is
  // gone. A null sender means the root control.
  void SendNotify(Control* sender, const std::wstring& type, WPARAM wParam = 0, LPARAM lParam = 0,
                  bool async = false);

  // --- Timers (UI thread) --------------------------------------------------
  bool SetTimer(Control* control, UINT id, UINT elapseMs);
  void KillTimer(Control* control, UINT id);
  void KillTimers(Control* control);
  void KillAllTimers();
  bool HasTimer(const Control* control, UINT id) const;

  // --- Fonts -------------------------------------------------------------
  void AddFont(int id, const FontInfo& font, bool isDefault);
  // The font with `id`, else the default font, else a built-in 12 px font.
  const FontInfo& GetFont(int id) const;

  // --- Resources ---------------------------------------------------------
  // Reads a file of the skin ("\" and "/" both separate, case ignored).
  // Null when missing. The bytes live as long as the resources.
  const std::string* ReadResource(const std::wstring& path) const;
  void SetResources(std::shared_ptr<SkinArchive> resources) { resources_ = std::move(resources); }
  // Decoded image (premultiplied ARGB32) cached per path and mask colour;
  // null when missing or not a PNG. Owned by the manager.
  cairo_surface_t* GetImage(const std::wstring& path, Color mask = 0);
  // The toolkit's resource folder on disk: the executable's folder joined
  // with the window's skin folder, ending with "/".
  const std::wstring& GetResourcePath() const { return resourcePath_; }
  void SetResourcePath(const std::wstring& path) { resourcePath_ = path; }

  // --- Layout and painting -------------------------------------------------
  void SetClientSize(Size size);
  Size GetClientSize() const { return clientSize_; }
  void NeedUpdate();
  bool IsUpdateNeeded() const { return updateNeeded_; }
  // Lays out the tree now when needed.
  void UpdateLayout();
  void Invalidate(const Rect& rect);
  // Paints the whole tree clipped to `dirty` (lays out first when needed).
  void Paint(cairo_t* cr, const Rect& dirty);
  // Called by the window host.
  std::function<void(const Rect&)> onInvalidate;
  std::function<void()> onLayout;

  // --- Input (called by the window) ----------------------------------------
  void OnMouseMove(Point pt);
  void OnMouseLeave();
  // Returns the control under the point (may be null).
  Control* OnButtonDown(Point pt);
  void OnButtonUp(Point pt);
  // True when a control used the key.
  bool OnKeyDown(WPARAM vk);
  bool OnChar(wchar_t ch);
  Control* GetFocus() const { return focus_; }
  void SetFocus(Control* control);
  void SetInputEnabled(bool enabled) { inputEnabled_ = enabled; }
  bool IsInputEnabled() const { return inputEnabled_; }

  // Called from ~Control: forgets every reference to `control`.
  void ReapControl(Control* control);
  // Closes the queued deliveries (window destroyed): later async
  // notifications are dropped.
  void Shutdown();

 private:
  struct TimerKey {
    const Control* control;
    UINT id;
    bool operator<(const TimerKey& o) const {
      return control != o.control ? control < o.control : id < o.id;
    }
  };
  struct PendingNotify {
    Control* sender;
    std::wstring type;
    WPARAM wParam;
    LPARAM lParam;
  };
  static int OnTimerSource(void* data);
  void DeliverQueued(uint64_t ticket);
  void Deliver(Notification& msg);

  std::shared_ptr<SkinArchive> resources_;
  std::shared_ptr<DispatchQueue> queue_;
  std::unique_ptr<Control> root_;
  WindowAttributes windowAttributes_;
  std::vector<INotify*> notifiers_;
  std::map<TimerKey, unsigned> timers_;  // GLib source ids
  std::map<int, FontInfo> fonts_;
  int defaultFont_ = -1;
  std::map<std::wstring, cairo_surface_t*> images_;
  std::wstring resourcePath_;
  Size clientSize_;
  bool updateNeeded_ = true;
  bool inputEnabled_ = true;
  bool shutdown_ = false;
  Control* hot_ = nullptr;
  Control* pushed_ = nullptr;
  Control* focus_ = nullptr;

  // Queued notifications, shared with other threads.
  std::mutex pendingMutex_;
  std::map<uint64_t, PendingNotify> pending_;
  uint64_t nextTicket_ = 1;
};

}  // namespace qui
