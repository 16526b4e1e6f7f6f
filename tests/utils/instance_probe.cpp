// Tries the single-instance guard once and reports "held" or "busy" on
// standard output. Usage: instance_probe NAME HOLD_MS [crash]
// A holder keeps the guard for HOLD_MS, then exits normally or, with
// "crash", is killed by SIGKILL while still holding it.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "utils/command_line.h"
#include "utils/text.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  Utils::SingleInstanceMutex guard(Utils::MultiByteToWide(argv[1], Utils::kCodePageUtf8));
  guard.Acquire();
  std::printf("%s\n", guard.IsHeld() ? "held" : "busy");
  std::fflush(stdout);
  if (guard.IsHeld()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
    if (argc > 3 && std::strcmp(argv[3], "crash") == 0) kill(getpid(), SIGKILL);
  }
  return guard.IsHeld() ? 0 : 1;
}
