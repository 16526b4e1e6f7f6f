// SkinWindowBase: a window built from an XML layout of the skin.
//
// The window owns a PaintManager with the control tree, a native window of
// the current host (a real GTK window, or an off-screen image in the
// headless host, see ui/toolkit.h) and a message queue that runs on the GLib
// main loop of the UI thread. Window code normally derives from CSkinFrame
// (ui/skin_frame.h), which adds the skin's shared window behaviour.
//
// Threads: every operation runs on the UI thread except PostMessage, which
// any thread may call, and PaintManager::SendNotify(..., async = true).
//
// Message flow (all on the UI thread, in posting order):
//   PostMessage / Close / window-manager close / window timers
//     -> HandleMessage(msg, wParam, lParam)       (override, then call the base)
//        base: WM_CLOSE -> the window is destroyed, wParam is the modal result
//              WM_SYSCOMMAND -> OnSysCommand
//              WM_KEYDOWN -> the focused control
//              everything else -> HandleCustomMessage(msg, wParam, lParam, handled)
//   key presses -> MessageFilter (may swallow) -> HandleMessage(WM_KEYDOWN)
//   mouse input -> controls -> notifications -> Notify -> ("click") OnClick
#pragma once

#include <cairo.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "ui/containers.h"
#include "ui/controls.h"
#include "ui/paint_manager.h"
#include "ui/types.h"

namespace qui {

class CShadowWnd;
class DispatchQueue;
class NativeWindow;
class SkinArchive;

// Where the layout and its images come from.
enum class ResourceKind : int {
  kFile = 1,             // files in the skin folder on disk
  kArchiveFile = 2,      // skinFolder is an archive file; skinFile names the layout inside it
  kArchiveResource = 4,  // an archive embedded as resource ("ZIPRES", id), see ui/resources.h
};

using CairoSurfacePtr = std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)>;

class SkinWindowBase : public INotify {
 public:
  // `className` is reported by GetWindowClassName(). Nothing is loaded until
  // Create().
  SkinWindowBase(ResourceKind kind, int resourceId, std::wstring skinFolder, std::wstring skinFile,
                 std::wstring className);
  ~SkinWindowBase() override;
  SkinWindowBase(const SkinWindowBase&) = delete;
  SkinWindowBase& operator=(const SkinWindowBase&) = delete;

  // --- Hooks ---------------------------------------------------------------
  // Once, after the control tree was built and before the window is shown.
  virtual void InitWindow() {}
  // Every notification. Base: "click" -> OnClick.
  void Notify(Notification& msg) override;
  // Base: "closebtn" -> Close(1); "minbtn" -> minimise; "maxbtn" -> maximise;
  // "restorebtn" -> restore; anything else nothing.
  virtual void OnClick(Notification& msg);
  // Every window message; call the base for what the override does not take.
  virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  // Messages the base does not handle (window timers arrive as WM_TIMER with
  // the id as wParam; self-defined messages such as WM_USER + n).
  virtual LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  // WM_SYSCOMMAND: SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE, SC_CLOSE (posts WM_CLOSE 0).
  virtual LRESULT OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  // Key messages before any control sees them; set `handled` to swallow.
  virtual LRESULT MessageFilter(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  // Layout tags the toolkit does not know; null leaves the tag unbuilt.
  virtual std::unique_ptr<Control> CreateControl(const std::wstring& tag);

  // --- Identity ------------------------------------------------------------
  const std::wstring& GetWindowClassName() const { return className_; }
  const std::wstring& GetSkinFile() const { return skinFile_; }
  const std::wstring& GetSkinFolder() const { return skinFolder_; }
  ResourceKind GetResourceKind() const { return kind_; }
  int GetResourceId() const { return resourceId_; }

  // --- Life cycle ----------------------------------------------------------
  // Loads the layout, builds the tree, creates the native window at the
  // layout's size, calls InitWindow and shows the window when `style` has
  // WS_VISIBLE. False (and no window) when the toolkit is not initialised,
  // the resources or the layout cannot be read, or the window exists already.
  bool Create(SkinWindowBase* parent, const std::wstring& title, uint32_t style,
              uint32_t exStyle = 0);
  // True between a successful Create and the destruction of the window.
  bool IsWindow() const;
  void ShowWindow(bool show = true);
  // Centres over the owner (when it has one and is not minimised), else over
  // the work area; then pushes the window back inside the work area.
  void CenterWindow();
  // Shows the window, disables the owner, and runs a nested main loop until
  // the window is destroyed; posted messages, timers and queued
  // notifications keep running meanwhile. Returns the wParam of the WM_CLOSE
  // that closed it (0 for a window-manager close request), or UINT(-1) when
  // there is no window.
  UINT ShowModal();
  // Posts WM_CLOSE with `result` as wParam.
  void Close(UINT result = 1);
  // Destroys the native window at once (no WM_CLOSE); ends a modal loop.
  void DestroyWindow();

  // --- Messages and timers -------------------------------------------------
  // Any thread. Queued and handled on the UI thread through HandleMessage.
  // False when the window does not exist (the message is dropped; an
  // owned pointer in lParam is then the caller's to free).
  bool PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
  // UI thread: HandleMessage at once.
  LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
  // Window timers: WM_TIMER(id) every `elapseMs`; same id restarts.
  bool SetTimer(UINT id, UINT elapseMs);
  void KillTimer(UINT id);

  // --- Window state --------------------------------------------------------
  // Window icon from an icon resource ("ICON", id) of ui/resources.h.
  bool SetIcon(UINT resourceId);
  uint32_t GetWindowStyle() const { return style_; }
  void SetWindowStyle(uint32_t style) { style_ = style; }
  uint32_t GetWindowExStyle() const { return exStyle_; }
  void SetWindowExStyle(uint32_t exStyle) { exStyle_ = exStyle; }
  // Outer rectangle of the window content on the screen.
  Rect GetWindowRect() const;
  void MoveWindow(int x, int y);
  void Minimize();
  void Maximize();
  void Restore();
  bool IsMinimized() const;
  void EnableWindow(bool enable);
  bool IsWindowEnabled() const { return enabled_; }
  // Raises the window and asks for the input focus.
  void BringToFront();
  const std::wstring& GetTitle() const { return title_; }
  SkinWindowBase* GetOwner() const { return owner_; }

  // Folder picker: the chosen folder, or nothing when cancelled. The GTK
  // host shows a native folder chooser; the headless host asks the test hook
  // (SetFolderPickerForTesting), else answers "cancelled".
  std::optional<std::wstring> BrowseForFolder(const std::wstring& title);

  // --- Controls ------------------------------------------------------------
  PaintManager& GetPaintManager() { return *manager_; }
  Control* GetRoot() const { return manager_->GetRoot(); }
  Control* FindControl(const std::wstring& name) const { return manager_->FindControl(name); }
  template <class T>
  T* FindControlAs(const std::wstring& name) const {
    return dynamic_cast<T*>(FindControl(name));
  }

  // --- Rendering -----------------------------------------------------------
  // Paints the whole window into a new image of the client size (layout
  // first). Null when no tree exists.
  CairoSurfacePtr RenderToSurface();
  // RenderToSurface written as PNG. False on failure.
  bool SavePng(const std::string& path);

  // --- Test hooks (both hosts) ---------------------------------------------
  // Presses and releases the left button at the centre of the named control
  // (which must be really visible); runs the same path as a user click.
  bool ClickControlForTesting(const std::wstring& name);
  // A key press (WM_KEYDOWN through MessageFilter, then the controls).
  void PressKeyForTesting(WPARAM vk);
  // Replaces the text of the focused Edit (headless stand-in for typing).
  bool TypeTextForTesting(const std::wstring& text);
  // The window-manager close request (Alt+F4 / title-bar close).
  void RequestCloseForTesting();
  // One-shot hooks run (queued, inside the loop) when the next modal loop
  // starts; several pushes serve consecutive modal loops in order.
  static void PushModalHookForTesting(std::function<void(SkinWindowBase&)> hook);
  // Pushes a modal hook that clicks the named control of the next modal window.
  static void AnswerNextPromptForTesting(const std::wstring& controlName);
  static void ClearModalHooksForTesting();
  // Answers BrowseForFolder in the headless host (null restores "cancelled").
  static void SetFolderPickerForTesting(
      std::function<std::optional<std::wstring>(const std::wstring& title)> picker);

  // --- Host side (called by the native window; not for window code) ---------
  void HostPaint(cairo_t* cr, const Rect& dirty);
  void HostMouseMove(Point pt);
  void HostMouseLeave();
  void HostButtonDown(Point pt);
  void HostButtonUp(Point pt);
  void HostKeyDown(WPARAM vk);
  void HostChar(wchar_t ch);
  void HostCloseRequest();
  void HostDestroyed();
  // Called by CShadowWnd::Create: the host shows the shadow when it can.
  void HostSetShadow(const CShadowWnd* shadow);

 protected:
  // Posted-message delivery on the UI thread.
  void DispatchPosted(UINT msg, WPARAM wParam, LPARAM lParam);

 private:
  bool BuildTree();
  void SyncNativeChildren();
  static int OnWindowTimer(void* data);

  const ResourceKind kind_;
  const int resourceId_;
  const std::wstring skinFolder_;
  const std::wstring skinFile_;
  const std::wstring className_;

  std::shared_ptr<SkinArchive> resources_;
  std::shared_ptr<DispatchQueue> queue_;
  std::unique_ptr<PaintManager> manager_;
  std::unique_ptr<NativeWindow> native_;
  SkinWindowBase* owner_ = nullptr;
  std::wstring title_;
  uint32_t style_ = 0;
  uint32_t exStyle_ = 0;
  bool enabled_ = true;
  std::atomic<bool> alive_{false};
  UINT modalResult_ = 0;
  void* modalLoop_ = nullptr;  // GMainLoop* while ShowModal runs
  std::map<UINT, unsigned> windowTimers_;
};

}  // namespace qui
