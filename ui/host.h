// The seam between windows and the window system. Two hosts implement it:
// host_gtk.cpp (a real GTK 3 window) and host_headless.cpp (an off-screen
// window for tests and previews). Internal to the toolkit.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "ui/types.h"

namespace qui {

class CShadowWnd;
class Edit;
class EditPeer;
class SkinWindowBase;

class NativeWindow {
 public:
  virtual ~NativeWindow() = default;
  virtual void Show(bool show) = 0;
  // The content rectangle on the screen (without the shadow margin).
  virtual Rect GetRect() const = 0;
  virtual void Move(int x, int y) = 0;
  virtual void Invalidate(const Rect& rect) = 0;
  virtual void BeginMoveDrag(Point pt) = 0;
  virtual void Minimize() = 0;
  virtual void Maximize() = 0;
  virtual void Restore() = 0;
  virtual bool IsMinimized() const = 0;
  virtual void SetModal(bool modal) = 0;
  virtual void Raise() = 0;
  virtual bool SetIconPng(std::span<const uint8_t> png) = 0;
  // Work area of the monitor the window is on.
  virtual Rect WorkArea() const = 0;
  // Null when the host has no native entries.
  virtual std::unique_ptr<EditPeer> CreateEditPeer(Edit* edit) = 0;
  virtual std::optional<std::wstring> PickFolder(const std::wstring& title) = 0;
  // Shadow and round corners (used only when the host can show them).
  virtual void SetShadow(const CShadowWnd* shadow, Size roundCorner) = 0;
};

// Creates the native window of the current host (hidden).
std::unique_ptr<NativeWindow> CreateNativeWindow(SkinWindowBase* window, SkinWindowBase* owner,
                                                 Size size, const std::wstring& title);

// Host globals.
bool InitGtkHost();  // gtk_init_check; false without display
bool GtkHostIsComposited();
std::optional<std::wstring> HeadlessPickFolder(const std::wstring& title);

}  // namespace qui
