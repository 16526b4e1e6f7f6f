// quillon-collector: the loopback analytics collector as a program.
//
//   quillon-collector [--host ADDR] [--port N] [--port-file FILE]
//                     [--events FILE] [--mode accept|204|500|stall] [--stall-ms N]
//
// Prints the bound port on standard output (one line) and, with --port-file,
// writes it to FILE (replaced atomically, so a reader never sees half of it).
// Accepted events are appended to the --events file, one JSON object per line.
// Runs until SIGINT or SIGTERM. The reply mode can be changed while running
// with POST /control?mode=...

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "tools/collector/collector.h"
#include "tools/common/stop_signals.h"

namespace {

void Usage() {
  std::cerr << "usage: quillon-collector [--host ADDR] [--port N] [--port-file FILE]\n"
               "                         [--events FILE] [--mode accept|204|500|stall]\n"
               "                         [--stall-ms N]\n";
}

bool ParseNumber(const std::string& text, long min, long max, long* value) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || end == nullptr || *end != '\0' || v < min || v > max) return false;
  *value = v;
  return true;
}

bool WritePortFile(const std::string& path, int port) {
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::trunc);
    out << port << '\n';
    if (!out.flush()) return false;
  }
  return std::rename(temp.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  collector::CollectorOptions options;
  std::string portFile;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      Usage();
      return 0;
    }
    if (i + 1 >= argc) {
      std::cerr << "quillon-collector: " << arg << " needs a value\n";
      Usage();
      return 2;
    }
    const std::string value = argv[++i];
    long number = 0;
    if (arg == "--host") {
      options.host = value;
    } else if (arg == "--port" && ParseNumber(value, 0, 65535, &number)) {
      options.port = static_cast<int>(number);
    } else if (arg == "--port-file") {
      portFile = value;
    } else if (arg == "--events") {
      options.eventsFile = value;
    } else if (arg == "--mode" && collector::ParseReplyMode(value, &options.mode)) {
    } else if (arg == "--stall-ms" && ParseNumber(value, 0, 3600 * 1000, &number)) {
      options.stallTime = std::chrono::milliseconds(number);
    } else {
      std::cerr << "quillon-collector: bad option " << arg << " " << value << "\n";
      Usage();
      return 2;
    }
  }

  // Block the stop signals before any thread starts, then wait for them here.
  const sigset_t stopSignals = tools::BlockStopSignals();

  collector::Collector server(options);
  if (!server.Start()) {
    std::cerr << "quillon-collector: cannot listen on " << options.host << ":" << options.port
              << "\n";
    return 1;
  }
  // The file first: whoever read the printed port may look for it at once.
  if (!portFile.empty() && !WritePortFile(portFile, server.Port())) {
    std::cerr << "quillon-collector: cannot write " << portFile << "\n";
    return 1;
  }
  std::cout << server.Port() << std::endl;
  tools::WaitForStopSignal(stopSignals);
  server.Stop();
  return 0;
}
