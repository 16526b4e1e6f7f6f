#include "install/status_child.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "install/status_lines.h"
#include "utils/log.h"

namespace install {

StatusChild::~StatusChild() {
  if (started_ && !waited_) Wait();
}

bool StatusChild::Start(const std::wstring& commandLine) {
  try {
    child_.Start(commandLine);
  } catch (const Utils::Exception&) {
    return false;
  }
  started_ = true;
  return true;
}

void StatusChild::ReadLines(const std::function<void(const std::string& line)>& onLine) {
  if (!started_) return;
  StatusLineSplitter splitter;
  std::string line;
  char buffer[1024];
  int outFd = child_.OutputFd();
  int errFd = child_.ErrorFd();
  bool outOpen = outFd >= 0;
  bool errOpen = errFd >= 0;
  while (outOpen) {
    // Checked before the wait so that output written just before the exit is
    // still read below: the decisive line is often the last one.
    bool running = child_.IsRunning();
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errOpen ? errFd : -1, POLLIN, 0}};
    int ready = ::poll(fds, 2, running ? kPollMs : 0);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) break;
    if (fds[1].revents != 0) {
      ssize_t n = ::read(errFd, buffer, sizeof buffer);
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) errOpen = false;
    }
    if (fds[0].revents != 0) {
      ssize_t n = child_.ReadOutput(buffer, sizeof buffer, 0);
      if (n > 0) {
        splitter.Append(buffer, static_cast<size_t>(n));
        while (splitter.NextLine(&line)) onLine(line);
        continue;
      }
      outOpen = false;  // end of output (or a broken pipe)
      break;
    }
    if (ready == 0 && !running) break;  // exited, and nothing more is waiting
  }
  if (splitter.TakeRest(&line)) onLine(line);
}

int StatusChild::Wait() {
  if (!started_ || waited_) return child_.ExitStatus();
  waited_ = true;
  int status = child_.Wait();
  child_.Close();
  QLOG(L"child ended with status %d\r\n", status);
  return status;
}

}  // namespace install
