// Opening web pages and starting programs, detached from the installer.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace platform {

// Opens a URL with xdg-open, detached. True when the opener was started.
bool OpenUrl(const std::wstring& url);
// Starts a program detached, its folder as working folder. True when started.
bool LaunchProgram(const std::wstring& program, const std::vector<std::wstring>& args = {});

// Process list from /proc: the executable file name of each process
// (basename of /proc/PID/exe, else of argv[0]).
struct ProcessEntry {
  pid_t pid;
  std::wstring exeName;
};
std::vector<ProcessEntry> ListProcesses();

}  // namespace platform
