#include "platform/network.h"

#include <gio/gio.h>

namespace platform {

bool QueryNetworkState(NetworkState* state) {
  // The default monitor is a process-wide singleton owned by GIO.
  GNetworkMonitor* monitor = g_network_monitor_get_default();
  if (!monitor) return false;
  state->networkAvailable = g_network_monitor_get_network_available(monitor) == TRUE;
  switch (g_network_monitor_get_connectivity(monitor)) {
    case G_NETWORK_CONNECTIVITY_LOCAL:
      state->connectivity = Connectivity::kLocal;
      break;
    case G_NETWORK_CONNECTIVITY_LIMITED:
      state->connectivity = Connectivity::kLimited;
      break;
    case G_NETWORK_CONNECTIVITY_PORTAL:
      state->connectivity = Connectivity::kPortal;
      break;
    case G_NETWORK_CONNECTIVITY_FULL:
      state->connectivity = Connectivity::kFull;
      break;
  }
  if (!state->networkAvailable) state->connectivity = Connectivity::kNone;
  return true;
}

}  // namespace platform
