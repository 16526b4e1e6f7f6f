// Brief message pump for the UI thread.
#pragma once

namespace qui {
class SkinWindowBase;
}

namespace Utils {

// Runs the UI thread's main loop (posted messages, timers, input, painting)
// for about 100 ms. False when `window` (optional) no longer exists, or was
// destroyed meanwhile; true after the time has passed. Unlike a plain
// blocking wait the call also ends when no event arrives at all. Must run on
// the UI thread; `window`, when given, must outlive the call.
bool PumpMessagesBriefly(qui::SkinWindowBase* window = nullptr);

}  // namespace Utils
