// A silent child whose standard output carries status lines: started with its
// three standard streams on pipes, read line by line until its output ends,
// then waited for. Used by the package and uninstall runners on their worker
// threads; one thread at a time.
#pragma once

#include <functional>
#include <string>

#include "utils/process.h"

namespace install {

class StatusChild {
 public:
  // How long one wait for output lasts before the child's state is checked again.
  static constexpr int kPollMs = 100;

  StatusChild() = default;
  ~StatusChild();  // waits for a started child that was not waited for
  StatusChild(const StatusChild&) = delete;
  StatusChild& operator=(const StatusChild&) = delete;

  // Starts the child (Utils::ChildProcess). False when the pipes or the
  // process cannot be created.
  bool Start(const std::wstring& commandLine);

  // Reads standard output until it ends, calling `onLine` with each raw line
  // (without its line feed; a line cut by a read boundary is joined first, an
  // unterminated last line is delivered at the end). Also drains standard
  // error so that a chatty child never blocks. Returns once the output has
  // ended, or once the child has exited and nothing more is waiting in the
  // pipe (a descendant may keep the pipe open).
  void ReadLines(const std::function<void(const std::string& line)>& onLine);

  // Waits without limit for the child; its exit status (128 + signal number
  // for a signal).
  int Wait();
  bool KilledBySignal() const { return child_.KilledBySignal(); }

 private:
  Utils::ChildProcess child_;
  bool started_ = false;
  bool waited_ = false;
};

}  // namespace install
