// Stop handling shared by the loopback tool programs (package server,
// collector): they serve until SIGINT or SIGTERM arrives.
#pragma once

#include <pthread.h>
#include <signal.h>

namespace tools {

// Blocks SIGINT and SIGTERM in the calling thread, and so in every thread it
// starts afterwards, and ignores SIGPIPE. Call before any thread starts; the
// result is the set WaitForStopSignal waits on.
inline sigset_t BlockStopSignals() {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  return stopSignals;
}

// Returns once one of the blocked stop signals has arrived.
inline void WaitForStopSignal(const sigset_t& stopSignals) {
  int received = 0;
  sigwait(&stopSignals, &received);
}

}  // namespace tools
