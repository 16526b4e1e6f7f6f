// The headless host: windows without a display. The control tree, the main
// loop, timers and messages work as with GTK; painting happens on demand
// (SkinWindowBase::RenderToSurface) and input comes from the test hooks.
#include <mutex>

#include "ui/controls.h"
#include "ui/host.h"
#include "ui/skin_window.h"
#include "ui/toolkit.h"

namespace qui {
namespace {

std::mutex& PickerMutex() {
  static std::mutex mutex;
  return mutex;
}
std::function<std::optional<std::wstring>(const std::wstring&)>& Picker() {
  static std::function<std::optional<std::wstring>(const std::wstring&)> picker;
  return picker;
}

class HeadlessWindow : public NativeWindow {
 public:
  explicit HeadlessWindow(Size size) : rect_{0, 0, size.cx, size.cy} {}
  void Show(bool show) override { shown_ = show; }
  Rect GetRect() const override { return rect_; }
  void Move(int x, int y) override { rect_ = {x, y, x + rect_.Width(), y + rect_.Height()}; }
  void Invalidate(const Rect&) override {}
  void BeginMoveDrag(Point) override {}
  void Minimize() override { minimized_ = true; }
  void Maximize() override { minimized_ = false; }
  void Restore() override { minimized_ = false; }
  bool IsMinimized() const override { return minimized_; }
  void SetModal(bool) override {}
  void Raise() override { minimized_ = false; }
  bool SetIconPng(std::span<const uint8_t> png) override { return !png.empty(); }
  Rect WorkArea() const override { return {0, 0, 1920, 1080}; }
  std::unique_ptr<EditPeer> CreateEditPeer(Edit*) override { return nullptr; }
  std::optional<std::wstring> PickFolder(const std::wstring& title) override {
    return HeadlessPickFolder(title);
  }
  void SetShadow(const CShadowWnd*, Size) override {}

 private:
  Rect rect_;
  bool shown_ = false;
  bool minimized_ = false;
};

}  // namespace

std::unique_ptr<NativeWindow> CreateHeadlessWindow(Size size) {
  return std::make_unique<HeadlessWindow>(size);
}

std::optional<std::wstring> HeadlessPickFolder(const std::wstring& title) {
  std::function<std::optional<std::wstring>(const std::wstring&)> picker;
  {
    std::lock_guard<std::mutex> lock(PickerMutex());
    picker = Picker();
  }
  if (!picker) return std::nullopt;
  return picker(title);
}

void SkinWindowBase::SetFolderPickerForTesting(
    std::function<std::optional<std::wstring>(const std::wstring& title)> picker) {
  std::lock_guard<std::mutex> lock(PickerMutex());
  Picker() = std::move(picker);
}

}  // namespace qui
