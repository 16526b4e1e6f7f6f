// The installer's entry function: the start-up and shutdown frame around the
// main window (or, with "-silent=true", around the unattended installation).
#pragma once

namespace app {

// Exit status when another installer already runs (the -1 of the original
// entry function as a Linux exit status).
inline constexpr int kExitAnotherInstaller = 255;

// Runs the whole program on the calling (main) thread and returns the exit
// status: 0 after a normal run of the window, 255 when another installer
// runs; in unattended mode the status of UnattendedStatus (app/unattended.h).
int InstallerMain(int argc, char** argv);

}  // namespace app
