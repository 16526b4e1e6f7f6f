// SIGUSR1 from outside the process: the installer's message 1224 (the
// downloader-started report). Handled on the UI thread's GLib main loop.
#pragma once

#include <functional>

namespace app {

// Installs the SIGUSR1 source on the default GLib main context (UI thread,
// once; later calls do nothing). From then on the signal never ends the
// process: without a handler it is ignored.
void InstallDownloaderStartedSignal();
// The work SIGUSR1 triggers (UI thread); null drops the signal.
void SetDownloaderStartedHandler(std::function<void()> handler);

}  // namespace app
