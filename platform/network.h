// Network state from GIO's GNetworkMonitor (GIO_USE_NETWORK_MONITOR selects
// the implementation). Internal to the platform layer and utils.
#pragma once

namespace platform {

enum class Connectivity { kNone, kLocal, kLimited, kPortal, kFull };

struct NetworkState {
  bool networkAvailable = false;
  Connectivity connectivity = Connectivity::kNone;
};

// False when no network monitor can be had. Note: the netlink monitor reports
// full connectivity whenever a default route exists.
bool QueryNetworkState(NetworkState* state);

}  // namespace platform
