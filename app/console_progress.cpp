#include "app/console_progress.h"

#include <unistd.h>

#include <algorithm>

namespace app {

namespace {
constexpr int kBarCells = 40;
constexpr char kPrefix[] = "quillon-installer: ";
}  // namespace

std::string RenderProgressBar(int percent, int width) {
  percent = std::clamp(percent, 0, 100);
  width = std::max(width, 1);
  const int filled = percent * width / 100;
  std::string bar = "[";
  bar.append(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(width - filled), '-');
  char tail[16];
  std::snprintf(tail, sizeof tail, "] %3d%%", percent);
  return bar + tail;
}

ConsoleProgress::ConsoleProgress(std::FILE* out)
    : ConsoleProgress(out, isatty(fileno(out)) ? Style::kBar : Style::kLines) {}

ConsoleProgress::ConsoleProgress(std::FILE* out, Style style) : out_(out), style_(style) {}

void ConsoleProgress::ClearBar() {
  if (!barShown_) return;
  std::fputs("\r\033[K", out_);
  barShown_ = false;
}

void ConsoleProgress::Stage(const std::string& text) {
  ClearBar();
  std::fprintf(out_, "%s%s\n", kPrefix, text.c_str());
  std::fflush(out_);
  lastPercent_ = -1;  // the next percent draws the bar again below the line
}

void ConsoleProgress::Percent(int percent) {
  percent = std::clamp(percent, 0, 100);
  if (percent == lastPercent_) return;
  lastPercent_ = percent;
  if (style_ == Style::kBar) {
    std::fprintf(out_, "\r%s", RenderProgressBar(percent, kBarCells).c_str());
    barShown_ = true;
    std::fflush(out_);
  }
}

void ConsoleProgress::Finish() {
  if (barShown_) {
    std::fputs("\n", out_);
    barShown_ = false;
    std::fflush(out_);
  }
  lastPercent_ = -1;
}

}  // namespace app
