// Shared pieces of the demo product package, its uninstaller and the product
// program: test options, the status-line writer and small file helpers. The
// demo programs stand outside the installer and link nothing of it.
#pragma once

#include <string>
#include <vector>

namespace demo {

// Options tests add to the package's command line through "InstCmd" (the
// uninstaller takes the same ones, see uninst.opt).
//   -test-error=TEXT    print "Error=TEXT" part-way and exit 1
//   -test-state-fail    print "State=Fail" part-way and exit 1
//   -test-signal=N      kill itself with signal N part-way (no decisive line)
//   -test-exit=N        exit with status N without a decisive line
//   -test-no-state      finish the work but print no State line (exit 0)
//   -test-slow=MS       pause MS milliseconds after every status line
//   -test-gbk           announce "Encode=936" and print every line in GBK
//   -test-split         write every line in two pieces with a pause between
//   -test-after=N       print N filler lines after the decisive line
//   -test-after-line=K=V  then print the status line "K=V" (repeatable)
//   -test-stamp=PATH    write the monotonic clock (ns) to PATH right before exit
//   -test-hold=MS       stay alive MS milliseconds before the work starts
// The package stores every option of the form "-uninst-test-..." in
// DIR/uninst.opt (as "-test-..."), where the installed uninstaller reads it.
struct TestOptions {
  std::string errorText;
  bool stateFail = false;
  int signal = 0;
  int exitCode = -1;
  bool noState = false;
  int slowMs = 0;
  bool gbk = false;
  bool split = false;
  int afterLines = 0;
  std::vector<std::string> linesAfter;  // "Key=Value" lines after the filler
  std::string stampPath;
  int holdMs = 0;
};

// True when `arg` is a test option (and stores it).
bool ParseTestOption(const std::string& arg, TestOptions* options);

// Writes status lines "Key=Value\n" to standard output, unbuffered, honouring
// the GBK, split and slow options. Values are UTF-8.
class StatusWriter {
 public:
  explicit StatusWriter(const TestOptions& options) : options_(options) {}
  void Line(const std::string& key, const std::string& value);
  // What follows the decisive line: the filler lines, then options.linesAfter.
  void After(const std::string& fillerProgress);
  // The encoding announcement: "Encode=UTF8" or "Encode=936".
  void Announce();

 private:
  void Write(const std::string& bytes);
  const TestOptions& options_;
};

// UTF-8 -> GBK through iconv; the input unchanged when it cannot be converted.
std::string Utf8ToGbk(const std::string& text);

void SleepMs(int ms);
// Writes the monotonic clock in nanoseconds to `path` (nothing for an empty path).
void WriteStamp(const std::string& path);

// Ends the run part-way the way the test options ask (signal, "Error=TEXT",
// "State=Fail" or a bare exit status), before any decisive line. Returns only
// when no such option is set.
void FailPartWay(const TestOptions& options, StatusWriter& out);

// Creates every missing folder of `path`. True when it exists afterwards.
bool MakeDirs(const std::string& path);
// Writes `data` to `path` (replacing it) with the given mode. True on success.
bool WriteFileBytes(const std::string& path, const std::string& data, unsigned mode);
bool ReadFileBytes(const std::string& path, std::string* data);

// The desktop-entry folder: $XDG_DATA_HOME/applications, else
// $HOME/.local/share/applications; empty when neither is known.
std::string DesktopEntryDir();
// The fixed desktop-entry file name of the product.
inline constexpr char kDesktopEntryName[] = "quillon-vantrel.desktop";

// The install folder given after "-instdir=" (preferred) or "/D=" (the rest of
// the command line, blanks restored between arguments).
std::string FolderFromArgs(const std::vector<std::string>& args, const std::string& quotedKey,
                           const std::string& restKey);

}  // namespace demo
