// quillon-package-server: serves a folder laid out as packages/<md5>/<name> on
// loopback for the demo and the benchmarks.
//
//   quillon-package-server --root DIR [--host 127.0.0.1] [--port 0]
//       [--port-file FILE] [--redirect FROM=TO]... [--rate BYTES_PER_SECOND]
//
// Without --redirect, "/software/277" redirects (302) to the first package
// found under DIR/packages. The bound port is written as one line to FILE
// (atomically) or, without --port-file, to standard output. Runs until SIGINT
// or SIGTERM.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "tools/common/stop_signals.h"
#include "tools/package_server/package_server.h"

namespace {

int Usage(const char* message) {
  std::fprintf(stderr,
               "quillon-package-server: %s\n"
               "usage: quillon-package-server --root DIR [--host HOST] [--port N]\n"
               "       [--port-file FILE] [--redirect FROM=TO]... [--rate BYTES_PER_SECOND]\n",
               message);
  return 2;
}

std::string FirstPackage(const std::filesystem::path& root) {
  std::vector<std::string> found;
  std::error_code error;
  for (auto& folder : std::filesystem::directory_iterator(root / "packages", error)) {
    if (!folder.is_directory()) continue;
    for (auto& file : std::filesystem::directory_iterator(folder.path(), error)) {
      if (file.is_regular_file()) {
        found.push_back("/packages/" + folder.path().filename().string() + "/" +
                        file.path().filename().string());
      }
    }
  }
  std::sort(found.begin(), found.end());
  return found.empty() ? "" : found.front();
}

}  // namespace

int main(int argc, char** argv) {
  package_server::Options options;
  std::string portFile;
  std::vector<std::pair<std::string, std::string>> redirects;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      Usage("serves packages on loopback");
      return 0;
    }
    if (arg != "--root" && arg != "--host" && arg != "--port" && arg != "--port-file" &&
        arg != "--redirect" && arg != "--rate") {
      return Usage(("unknown option " + arg).c_str());
    }
    if (i + 1 >= argc) return Usage(("missing value for " + arg).c_str());
    const char* v = argv[++i];
    char* end = nullptr;
    if (arg == "--root") {
      options.root = v;
    } else if (arg == "--host") {
      options.host = v;
    } else if (arg == "--port") {
      long port = std::strtol(v, &end, 10);
      if (*v == '\0' || *end != '\0' || port < 0 || port > 65535) return Usage("bad --port");
      options.port = static_cast<int>(port);
    } else if (arg == "--port-file") {
      portFile = v;
    } else if (arg == "--rate") {
      long long rate = std::strtoll(v, &end, 10);
      if (*v == '\0' || *end != '\0' || rate < 0) return Usage("bad --rate");
      options.bytesPerSecond = rate;
    } else {
      std::string pair = v;
      size_t eq = pair.find('=');
      if (eq == std::string::npos || eq == 0 || pair[0] != '/') {
        return Usage("--redirect takes /FROM=TO");
      }
      redirects.emplace_back(pair.substr(0, eq), pair.substr(eq + 1));
    }
  }
  if (options.root.empty()) return Usage("--root is required");
  if (!std::filesystem::is_directory(options.root)) return Usage("--root is not a folder");
  if (redirects.empty()) {
    std::string first = FirstPackage(options.root);
    if (!first.empty()) redirects.emplace_back("/software/277", first);
  }

  // Block the stop signals before any thread starts, then wait for one.
  const sigset_t stopSignals = tools::BlockStopSignals();

  package_server::PackageServer server(options);
  for (auto& [from, to] : redirects) server.AddRedirect(from, to);
  if (!server.Start()) {
    std::fprintf(stderr, "quillon-package-server: cannot listen on %s:%d\n", options.host.c_str(),
                 options.port);
    return 1;
  }
  if (portFile.empty()) {
    std::cout << server.Port() << std::endl;
  } else {
    std::string temporary = portFile + ".tmp";
    {
      std::ofstream out(temporary, std::ios::trunc);
      out << server.Port() << "\n";
      if (!out) {
        std::fprintf(stderr, "quillon-package-server: cannot write %s\n", portFile.c_str());
        return 1;
      }
    }
    std::filesystem::rename(temporary, portFile);
  }
  tools::WaitForStopSignal(stopSignals);
  server.Stop();
  return 0;
}
