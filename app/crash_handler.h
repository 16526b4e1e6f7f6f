// The crash filter: SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGABRT handled on an
// alternate stack, and std::set_terminate. A crash sends the task report
// "崩溃退出" and then the crash report through the analytics bridge, stops
// analytics (the reports are uploaded or staged, not lost), then the
// process dies by the same signal with its default action (a terminate ends
// by SIGABRT). Only the first crash is reported; a crash inside the reporting
// and a reporting that hangs for longer than a few seconds go straight to the
// default action. A crash signal sent by another process (kill) is handed to
// the main thread, so that the reporting never waits for a lock held by the
// thread it happened to land on.
#pragma once

namespace app {

// Installs the handlers for the process. Call once, on the main thread, early.
// Also gives the calling thread its alternate signal stack.
void InstallCrashHandlers();

// Gives the calling thread an alternate signal stack of its own (threads that
// may overflow their stack call it); the stack lives until the process ends.
void InstallAlternateStackForThisThread();

// How long the reporting may take before the default action follows anyway.
inline constexpr unsigned kCrashReportBudgetSeconds = 5;

}  // namespace app
