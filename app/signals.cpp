#include "app/signals.h"

#include <glib-unix.h>
#include <glib.h>
#include <signal.h>

#include <utility>

namespace app {

namespace {

// UI thread only.
std::function<void()>& Handler() {
  static std::function<void()> handler;
  return handler;
}

gboolean OnSigUsr1(gpointer) {
  if (Handler()) Handler()();
  return G_SOURCE_CONTINUE;
}

}  // namespace

void InstallDownloaderStartedSignal() {
  static const guint source = g_unix_signal_add(SIGUSR1, OnSigUsr1, nullptr);
  (void)source;
}

void SetDownloaderStartedHandler(std::function<void()> handler) { Handler() = std::move(handler); }

}  // namespace app
