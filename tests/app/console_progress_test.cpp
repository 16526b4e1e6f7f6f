#include "app/console_progress.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace app {
namespace {

std::string Written(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  char buffer[256];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  return text;
}

TEST(ConsoleProgressTest, BarRendering) {
  EXPECT_EQ(RenderProgressBar(0, 10), "[----------]   0%");
  EXPECT_EQ(RenderProgressBar(35, 10), "[###-------]  35%");
  EXPECT_EQ(RenderProgressBar(100, 10), "[##########] 100%");
  EXPECT_EQ(RenderProgressBar(250, 4), "[####] 100%");
  EXPECT_EQ(RenderProgressBar(-5, 4), "[----]   0%");
}

TEST(ConsoleProgressTest, LinesWithoutATerminalBarOnATerminal) {
  std::FILE* lines = std::tmpfile();
  ASSERT_NE(lines, nullptr);
  {
    ConsoleProgress console(lines);  // a file is not a terminal
    EXPECT_EQ(console.GetStyle(), ConsoleProgress::Style::kLines);
    console.Stage("downloading the package");
    console.Percent(35);
    console.Percent(70);
    console.Stage("installed into /opt/Quillon");
    console.Finish();
  }
  EXPECT_EQ(Written(lines),
            "quillon-installer: downloading the package\n"
            "quillon-installer: installed into /opt/Quillon\n");
  std::fclose(lines);

  std::FILE* bar = std::tmpfile();
  ASSERT_NE(bar, nullptr);
  {
    ConsoleProgress console(bar, ConsoleProgress::Style::kBar);
    console.Stage("running the package");
    console.Percent(74);
    console.Percent(74);  // unchanged: not drawn again
    console.Stage("installed");
    console.Finish();
  }
  const std::string text = Written(bar);
  EXPECT_EQ(text, "quillon-installer: running the package\n\r" + RenderProgressBar(74, 40) +
                      "\r\033[Kquillon-installer: installed\n");
  std::fclose(bar);
}

}  // namespace
}  // namespace app
