#include "app/crash_handler.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <exception>
#include <memory>

#include "tracker/analytics_bridge.h"

namespace app {

namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
// Reporting runs the analytics upload on this stack, so it is generous.
constexpr size_t kAltStackSize = 1 << 20;

// The signal of the first crash, and the thread that reports it.
std::atomic<int> g_crashSignal{0};
std::atomic<pthread_t> g_reportingThread{};

// Ends the process by `sig` with its default action. For a fault the raise
// also works when the handler would return: the instruction faults again.
[[noreturn]] void DieBy(int sig) {
  struct sigaction dfl = {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  sigaction(sig, &dfl, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  raise(sig);
  // Not reached for the signals handled here; never return to a crashed state.
  _exit(128 + sig);
}

void OnReportTimeout(int) {
  const int sig = g_crashSignal.load();
  DieBy(sig != 0 ? sig : SIGABRT);
}

// The reporting is not async-signal-safe (it builds events and uploads them);
// a budget alarm makes sure a reporting that deadlocks still ends the process
// by the crash signal.
void ArmReportBudget() {
  struct sigaction sa = {};
  sa.sa_handler = OnReportTimeout;
  sa.sa_flags = SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGALRM, &sa, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGALRM);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  alarm(kCrashReportBudgetSeconds);
}

void SendCrashReports() {
  analytics::ReportTask(L"崩溃退出", 0.0f, std::wstring(),
                        analytics::ExtraProperties{{L"AB", L"IN"}});
  analytics::ReportCrash();
  // The reports may still sit in memory (while the last upload failed an
  // upload thread takes them): stopping analytics uploads them or keeps them
  // in the staging file for the next run, instead of losing them.
  analytics::StopAnalytics();
}

// Claims the crash for the calling thread. False when a crash is already
// being reported: by this thread (a crash inside the reporting) the caller
// dies at once; by another thread the caller waits for that one to end the
// process.
bool ClaimCrash(int sig) {
  int expected = 0;
  if (g_crashSignal.compare_exchange_strong(expected, sig)) {
    g_reportingThread.store(pthread_self());
    return true;
  }
  if (pthread_equal(g_reportingThread.load(), pthread_self())) DieBy(sig);
  for (;;) pause();
}

// The thread that installed the handlers (the main thread).
pthread_t g_mainThread;

bool SentByAProcess(const siginfo_t* info) {
  return info &&
         (info->si_code == SI_USER || info->si_code == SI_TKILL || info->si_code == SI_QUEUE);
}

void OnCrashSignal(int sig, siginfo_t* info, void*) {
  // A signal sent with kill() lands on any thread, possibly one that holds a
  // lock the reporting needs (an analytics upload). Nothing is wrong with that
  // thread: let the main thread report instead.
  if (SentByAProcess(info) && !pthread_equal(pthread_self(), g_mainThread)) {
    pthread_kill(g_mainThread, sig);
    return;
  }
  if (!ClaimCrash(sig)) return;
  ArmReportBudget();
  SendCrashReports();
  DieBy(sig);
}

[[noreturn]] void OnTerminate() {
  if (ClaimCrash(SIGABRT)) {
    ArmReportBudget();
    SendCrashReports();
  }
  DieBy(SIGABRT);
}

struct ThreadAltStack {
  std::unique_ptr<char[]> memory;
  ~ThreadAltStack() {
    if (!memory) return;
    stack_t ss = {};
    ss.ss_flags = SS_DISABLE;
    sigaltstack(&ss, nullptr);
  }
};

}  // namespace

void InstallAlternateStackForThisThread() {
  thread_local ThreadAltStack altStack;
  if (altStack.memory) return;
  altStack.memory = std::make_unique<char[]>(kAltStackSize);
  stack_t ss = {};
  ss.ss_sp = altStack.memory.get();
  ss.ss_size = kAltStackSize;
  ss.ss_flags = 0;
  if (sigaltstack(&ss, nullptr) != 0) altStack.memory.reset();
}

void InstallCrashHandlers() {
  g_mainThread = pthread_self();
  InstallAlternateStackForThisThread();
  struct sigaction sa = {};
  sa.sa_sigaction = OnCrashSignal;
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  for (int sig : kCrashSignals) sigaction(sig, &sa, nullptr);
  std::set_terminate(OnTerminate);
}

}  // namespace app
