#include "ui/message_pump.h"

#include <glib.h>

#include "ui/skin_window.h"

namespace Utils {

bool PumpMessagesBriefly(qui::SkinWindowBase* window) {
  if (window && !window->IsWindow()) return false;
  const gint64 start = g_get_monotonic_time();
  // A wake-up source so that an idle loop still returns after the time.
  bool elapsed = false;
  guint wake = g_timeout_add(
      100,
      [](gpointer data) -> gboolean {
        *static_cast<bool*>(data) = true;
        return G_SOURCE_REMOVE;
      },
      &elapsed);
  bool result = true;
  for (;;) {
    g_main_context_iteration(g_main_context_default(), TRUE);
    if (window && !window->IsWindow()) {
      result = false;
      break;
    }
    if (elapsed || g_get_monotonic_time() - start > 100 * 1000) break;
  }
  if (!elapsed) {
    if (GSource* s = g_main_context_find_source_by_id(g_main_context_default(), wake)) {
      g_source_destroy(s);
    }
  }
  return result;
}

}  // namespace Utils
