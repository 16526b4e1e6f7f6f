#include "ui/toolkit.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "ui/host.h"
#include "ui/shadow_wnd.h"

namespace qui {
namespace {
struct ToolkitState {
  std::once_flag once;
  bool initialized = false;
  bool headless = true;
  std::thread::id uiThread;
};
ToolkitState& State() {
  static ToolkitState state;
  return state;
}
}  // namespace

bool Toolkit::Initialize(HostKind kind) {
  ToolkitState& s = State();
  bool ok = true;
  std::call_once(s.once, [&] {
    const char* env = std::getenv("QUILLON_HEADLESS");
    bool forceHeadless = env && std::strcmp(env, "1") == 0;
    bool gtk = false;
    if (kind == HostKind::kGtk || (kind == HostKind::kAuto && !forceHeadless)) gtk = InitGtkHost();
    if (kind == HostKind::kGtk && !gtk) {
      ok = false;
      return;
    }
    s.headless = !gtk;
    s.uiThread = std::this_thread::get_id();
    CShadowWnd::Initialize();
    s.initialized = true;
  });
  return ok && s.initialized;
}

bool Toolkit::IsInitialized() { return State().initialized; }
bool Toolkit::IsHeadless() { return State().headless; }
bool Toolkit::IsUiThread() {
  return State().initialized && State().uiThread == std::this_thread::get_id();
}
bool Toolkit::IsComposited() { return !State().headless && GtkHostIsComposited(); }

}  // namespace qui
