// Child processes with redirected standard streams, pipes, and the privilege
// facts passed to the package on its command line.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace Utils {

// Thrown by pipe and child-process creation only. Its message is empty.
class Exception : public std::exception {
 public:
  ~Exception() override = default;
  const char* what() const noexcept override { return ""; }
};

// One anonymous pipe (O_CLOEXEC). Throws Exception when it cannot be created.
class Pipe {
 public:
  Pipe();
  ~Pipe();
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  int ReadFd() const { return read_; }
  int WriteFd() const { return write_; }
  void CloseRead();
  void CloseWrite();

 private:
  int read_ = -1;
  int write_ = -1;
};

// Splits a Windows-style command line into arguments (the rules of the
// Microsoft C runtime):
//  - blanks and tabs separate arguments outside double quotes;
//  - a double quote toggles quoting and is dropped;
//  - 2n backslashes before a quote give n backslashes and the quote toggles;
//    2n+1 backslashes before a quote give n backslashes and a literal quote;
//  - backslashes not before a quote are literal;
//  - "" inside a quoted part gives a literal quote.
// The first argument (the program) is read more simply: it ends at the first
// blank or tab outside quotes, quotes only toggle quoting, and backslashes are
// always literal (so "C:\dir\" is the folder C:\dir\). Blanks before it are
// skipped.
std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine);

// A child started with its standard input, output and error on pipes, never
// through a shell. Used from one thread at a time.
class ChildProcess {
 public:
  static constexpr size_t kMaxCommandLine = 1023;  // characters

  ChildProcess() = default;
  ~ChildProcess();  // Close(); does not wait for or kill the child
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Creates the three pipes and spawns SplitCommandLine(commandLine) with the
  // program looked up like execvp. Throws Exception when the command line has
  // 1024 characters or more, is empty, or the pipes or the spawn fail. After a
  // successful start the parent holds only its own ends, so reading the output
  // reports end of data once the child (and its descendants) closed it.
  void Start(const std::wstring& commandLine);

  pid_t Pid() const { return pid_; }
  // Parent's ends; -1 before Start() and after Close().
  int OutputFd() const;
  int ErrorFd() const;
  int InputFd() const;

  // Reads up to `size` bytes of the child's standard output, waiting at most
  // `timeoutMs` (-1: without limit). Returns the byte count, 0 at end of data
  // or on time-out, -1 on error.
  ssize_t ReadOutput(void* buffer, size_t size, int timeoutMs);

  // True while the child has not exited (reaps it without blocking).
  bool IsRunning();
  // Waits without limit for the child; returns ExitStatus().
  int Wait();
  // The exit code, or 128 + signal number when a signal ended it; -1 while
  // it still runs or when it never started.
  int ExitStatus() const { return exitStatus_; }
  bool KilledBySignal() const { return signaled_; }

  // Closes every descriptor still held.
  void Close();

 private:
  void Reap(bool block);

  // Created by Start(); empty before.
  std::unique_ptr<Pipe> error_;
  std::unique_ptr<Pipe> output_;
  std::unique_ptr<Pipe> input_;
  pid_t pid_ = -1;
  bool exited_ = false;
  bool signaled_ = false;
  int exitStatus_ = -1;
};

// Effective uid 0.
bool IsProcessAdmin();
// The account is uid 0 or a member of group sudo, wheel or admin.
bool IsUserAccountAdmin(const std::wstring& userName);
// The user of the active local seat (logind), else $SUDO_USER, else our own.
bool GetActiveSessionUserName(std::wstring* userName);

}  // namespace Utils
