// Process-wide preparation of the toolkit and the choice of host.
#pragma once

namespace qui {

enum class HostKind {
  kAuto,      // GTK when a display opens (gtk_init_check) and QUILLON_HEADLESS is not "1"
  kGtk,       // GTK only; Initialize fails without a display
  kHeadless,  // off-screen windows painted into images, driven by tests
};

class Toolkit {
 public:
  // Once per process, on the thread that will run the windows (the UI
  // thread). Later calls return the host chosen first. False only when kGtk
  // was demanded and no display could be opened.
  static bool Initialize(HostKind kind = HostKind::kAuto);
  static bool IsInitialized();
  static bool IsHeadless();
  // True on the thread that called Initialize.
  static bool IsUiThread();
  // Whether the GTK screen is composited (RGBA shadow and round corners).
  static bool IsComposited();
};

}  // namespace qui
