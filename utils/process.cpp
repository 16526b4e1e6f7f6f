#include "utils/process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/system_info.h"
#include "utils/text.h"

extern char** environ;

namespace Utils {
namespace {

void CloseFd(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

class SpawnFileActions {
 public:
  SpawnFileActions() { ok_ = posix_spawn_file_actions_init(&actions_) == 0; }
  ~SpawnFileActions() {
    if (ok_) posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnFileActions(const SpawnFileActions&) = delete;
  SpawnFileActions& operator=(const SpawnFileActions&) = delete;
  bool ok() const { return ok_; }
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
  bool ok_ = false;
};

}  // namespace

Pipe::Pipe() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw Exception();
  read_ = fds[0];
  write_ = fds[1];
}

Pipe::~Pipe() {
  CloseRead();
  CloseWrite();
}

void Pipe::CloseRead() { CloseFd(&read_); }
void Pipe::CloseWrite() { CloseFd(&write_); }

std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine) {
  std::vector<std::wstring> args;
  const size_t n = commandLine.size();
  size_t i = 0;
  for (;;) {
    while (i < n && (commandLine[i] == L' ' || commandLine[i] == L'\t')) ++i;
    if (i >= n) break;
    std::wstring arg;
    bool quoted = false;
    if (args.empty()) {
      // The program: quotes only toggle, backslashes are always literal.
      for (; i < n && (quoted || (commandLine[i] != L' ' && commandLine[i] != L'\t')); ++i) {
        if (commandLine[i] == L'"') {
          quoted = !quoted;
        } else {
          arg += commandLine[i];
        }
      }
      args.push_back(arg);
      continue;
    }
    while (i < n) {
      wchar_t c = commandLine[i];
      if (!quoted && (c == L' ' || c == L'\t')) break;
      if (c == L'\\') {
        size_t count = 0;
        while (i < n && commandLine[i] == L'\\') {
          ++count;
          ++i;
        }
        if (i < n && commandLine[i] == L'"') {
          arg.append(count / 2, L'\\');
          if (count % 2 == 1) {
            arg += L'"';
            ++i;
          }
          // An even count leaves the quote to the code below.
        } else {
          arg.append(count, L'\\');
        }
        continue;
      }
      if (c == L'"') {
        if (quoted && i + 1 < n && commandLine[i + 1] == L'"') {
          arg += L'"';  // "" inside quotes: a literal quote, still quoted
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      arg += c;
      ++i;
    }
    args.push_back(arg);
  }
  return args;
}

ChildProcess::~ChildProcess() {
  Close();
  // Collect the child if it already ended, so it leaves no zombie behind.
  if (pid_ > 0 && !exited_) Reap(false);
}

void ChildProcess::Start(const std::wstring& commandLine) {
  if (commandLine.size() > kMaxCommandLine) throw Exception();
  std::vector<std::wstring> args = SplitCommandLine(commandLine);
  if (args.empty() || args[0].empty()) throw Exception();
  std::vector<std::string> narrow;
  for (const std::wstring& arg : args) {
    std::string text;
    if (!arg.empty()) {
      text = WideToMultiByte(arg, kCodePageUtf8);
      if (text.empty()) throw Exception();  // not representable
    }
    narrow.push_back(text);
  }
  std::vector<char*> argv;
  for (std::string& arg : narrow) argv.push_back(arg.data());
  argv.push_back(nullptr);

  // Order of creation as the owners expect: error, output, input.
  error_ = std::make_unique<Pipe>();
  output_ = std::make_unique<Pipe>();
  input_ = std::make_unique<Pipe>();

  SpawnFileActions actions;
  if (!actions.ok()) throw Exception();
  // dup2 clears O_CLOEXEC on the child's copies; every other descriptor,
  // ours included, is closed in the child.
  if (posix_spawn_file_actions_adddup2(actions.get(), input_->ReadFd(), STDIN_FILENO) != 0 ||
      posix_spawn_file_actions_adddup2(actions.get(), output_->WriteFd(), STDOUT_FILENO) != 0 ||
      posix_spawn_file_actions_adddup2(actions.get(), error_->WriteFd(), STDERR_FILENO) != 0 ||
      posix_spawn_file_actions_addclosefrom_np(actions.get(), 3) != 0) {
    throw Exception();
  }
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], actions.get(), nullptr, argv.data(), environ) != 0) {
    throw Exception();  // the pipes stay for the owner to close
  }
  pid_ = pid;
  exited_ = false;
  signaled_ = false;
  exitStatus_ = -1;
  // The child's ends are closed here, so the output reports end of data once
  // the child and its descendants have closed theirs.
  output_->CloseWrite();
  error_->CloseWrite();
  input_->CloseRead();
}

int ChildProcess::OutputFd() const { return output_ ? output_->ReadFd() : -1; }
int ChildProcess::ErrorFd() const { return error_ ? error_->ReadFd() : -1; }
int ChildProcess::InputFd() const { return input_ ? input_->WriteFd() : -1; }

ssize_t ChildProcess::ReadOutput(void* buffer, size_t size, int timeoutMs) {
  int fd = OutputFd();
  if (fd < 0) return -1;
  struct pollfd p = {fd, POLLIN, 0};
  for (;;) {
    int ready = poll(&p, 1, timeoutMs);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (ready == 0) return 0;
    ssize_t n = read(fd, buffer, size);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

void ChildProcess::Reap(bool block) {
  if (pid_ <= 0 || exited_) return;
  int status = 0;
  pid_t r;
  do {
    r = waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == pid_) {
    exited_ = true;
    if (WIFEXITED(status)) {
      exitStatus_ = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
      signaled_ = true;
      exitStatus_ = 128 + WTERMSIG(status);
    }
  } else if (r < 0) {
    exited_ = true;  // not our child any more (ECHILD): nothing to wait for
  }
}

bool ChildProcess::IsRunning() {
  if (pid_ <= 0 || exited_) return false;
  Reap(false);
  return !exited_;
}

int ChildProcess::Wait() {
  Reap(true);
  return exitStatus_;
}

void ChildProcess::Close() {
  error_.reset();
  output_.reset();
  input_.reset();
}

bool IsProcessAdmin() { return platform::IsRoot(); }

bool IsUserAccountAdmin(const std::wstring& userName) { return platform::IsAdminAccount(userName); }

bool GetActiveSessionUserName(std::wstring* userName) {
  return platform::ActiveSeatUserName(userName);
}

}  // namespace Utils
