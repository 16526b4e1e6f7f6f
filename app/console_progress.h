// Progress of an unattended installation on standard error: a redrawn
// progress bar when standard error is a terminal, otherwise one line per
// stage (and per message), so logs of deployment tools stay readable.
#pragma once

#include <cstdio>
#include <string>

namespace app {

class ConsoleProgress {
 public:
  enum class Style { kBar, kLines };

  // Writes to `out` (standard error by default); the style follows isatty()
  // of `out` unless given.
  explicit ConsoleProgress(std::FILE* out = stderr);
  ConsoleProgress(std::FILE* out, Style style);
  ConsoleProgress(const ConsoleProgress&) = delete;
  ConsoleProgress& operator=(const ConsoleProgress&) = delete;

  Style GetStyle() const { return style_; }

  // A stage begins or ends ("download started", "installed into ..."): its own line.
  void Stage(const std::string& text);
  // The bar at `percent` (0 to 100); nothing in line style, where only the
  // stage lines are written.
  void Percent(int percent);
  // Ends a bar that is on screen with a line break.
  void Finish();

 private:
  void ClearBar();

  std::FILE* out_;
  Style style_;
  int lastPercent_ = -1;
  bool barShown_ = false;
};

// "[#####---------------]  35%" with `width` cells.
std::string RenderProgressBar(int percent, int width);

}  // namespace app
