#include "utils/command_line.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>

#include "tests/utils/test_support.h"
#include "utils/process.h"
#include "utils/text.h"

namespace {

TEST(ParseCommandLine, KeysKeepTheirDashAndTheFirstValue) {
  Utils::CommandLineOptions options =
      Utils::ParseCommandLine(L"prog.exe -downloadtype=3 -ischecknet=true -x");
  const std::map<std::wstring, std::wstring> expected = {
      {L"prog.exe", L""}, {L"-x", L""}, {L"-downloadtype", L"3"}, {L"-ischecknet", L"true"}};
  EXPECT_EQ(options.Entries(), expected);
  EXPECT_EQ(options.GetInt(L"-downloadtype"), 3);
  EXPECT_TRUE(options.GetFlag(L"-ischecknet"));

  options = Utils::ParseCommandLine(
      L"\"C:\\dir with blank\\q.exe\" -k=a=b -k=c -Case=1 -case=2 plain -empty= \"-q=x y\"");
  EXPECT_EQ(options.GetText(L"-k"), L"a=b");
  EXPECT_EQ(options.GetText(L"-Case"), L"1");
  EXPECT_EQ(options.GetText(L"-case"), L"2");
  EXPECT_TRUE(options.Has(L"plain"));
  EXPECT_TRUE(options.Has(L"-empty"));
  EXPECT_EQ(options.GetText(L"-empty"), L"");
  EXPECT_EQ(options.GetText(L"-q"), L"x y");
  EXPECT_TRUE(options.Has(L"C:\\dir with blank\\q.exe"));
  EXPECT_FALSE(options.Has(L"-missing"));
  EXPECT_EQ(options.GetText(L"-missing"), L"");
}

TEST(ParseCommandLine, Getters) {
  struct Case {
    std::wstring value;
    int integer;
    bool flag;
    double number;  // with fallback -1
  };
  const double kNaN = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {L"3", 3, false, 3.0},
      {L"true", 0, true, -1.0},
      {L"True", 0, false, -1.0},
      {L"1", 1, false, 1.0},
      {L"abc", 0, false, -1.0},
      {L"  -42xyz", -42, false, -42.0},
      {L"+7", 7, false, 7.0},
      {L"0.25", 0, false, 0.25},
      {L"99999999999", 0, false, 99999999999.0},  // integer out of range
      {L"1e999", 1, false, -1.0},                 // number out of range
      {L"", 0, false, -1.0},
      {L"--5", 0, false, -1.0},
      {L"nan", 0, false, kNaN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utils::WideToMultiByte(c.value, 65001));
    Utils::CommandLineOptions options;
    options.Insert(L"-v", c.value);
    EXPECT_EQ(options.GetInt(L"-v"), c.integer);
    EXPECT_EQ(options.GetFlag(L"-v"), c.flag);
    double number = options.GetNumber(L"-v", -1.0);
    if (std::isnan(c.number)) {
      EXPECT_TRUE(std::isnan(number));
    } else {
      EXPECT_DOUBLE_EQ(number, c.number);
    }
  }
  Utils::CommandLineOptions empty;
  EXPECT_EQ(empty.GetInt(L"-v"), 0);
  EXPECT_FALSE(empty.GetFlag(L"-v"));
  EXPECT_DOUBLE_EQ(empty.GetNumber(L"-v", 0.7), 0.7);
}

TEST(ParseCommandLine, FromArgvAndFromTheProcess) {
  const char* argv[] = {"/opt/q/installer", "-downloadurl=http://h/x y", "-ischecknet=true",
                        "\xE4\xB8\xAD"};
  Utils::CommandLineOptions options = Utils::ParseCommandLine(4, argv);
  EXPECT_TRUE(options.Has(L"/opt/q/installer"));
  EXPECT_EQ(options.GetText(L"-downloadurl"), L"http://h/x y");
  EXPECT_TRUE(options.Has(L"中"));

  // The test binary itself: argv[0] is its path.
  Utils::CommandLineOptions self = Utils::ParseProcessCommandLine();
  ASSERT_FALSE(self.Entries().empty());
  bool hasSelf = false;
  for (const auto& entry : self.Entries()) {
    if (entry.first.find(L"command_line_test") != std::wstring::npos) hasSelf = true;
  }
  EXPECT_TRUE(hasSelf);
}

TEST(GetOsName, LinuxFamilyAndOsReleaseVersion) {
  std::wstring family, version;
  ASSERT_TRUE(Utils::GetOsName(&family, &version));
  EXPECT_EQ(family, L"Linux");
  EXPECT_FALSE(version.empty());
  std::ifstream osRelease("/etc/os-release");
  std::string line, id, versionId;
  while (std::getline(osRelease, line)) {
    auto value = [&](const std::string& key) {
      std::string v = line.substr(key.size());
      if (v.size() >= 2 && v.front() == '"') v = v.substr(1, v.size() - 2);
      return v;
    };
    if (line.rfind("ID=", 0) == 0) id = value("ID=");
    if (line.rfind("VERSION_ID=", 0) == 0) versionId = value("VERSION_ID=");
  }
  if (!id.empty() && !versionId.empty()) {
    EXPECT_EQ(version, Utils::MultiByteToWide(id + " " + versionId, 65001));
  }
  EXPECT_EQ(Utils::IsWow64(), false);  // a 64-bit test build
}

class SingleInstanceTest : public testing::Test {
 protected:
  quillon_test::TempDir runtime_;
  quillon_test::ScopedEnv xdg_{"XDG_RUNTIME_DIR", runtime_.path()};

  std::unique_ptr<Utils::ChildProcess> Probe(const std::wstring& args) {
    auto child = std::make_unique<Utils::ChildProcess>();
    child->Start(L"\"" QUILLON_INSTANCE_PROBE "\" " + args);
    return child;
  }
  static std::string Answer(Utils::ChildProcess& child) {
    std::string out;
    char buffer[64];
    for (ssize_t n; (n = child.ReadOutput(buffer, sizeof(buffer), 10000)) > 0;) {
      out.append(buffer, static_cast<size_t>(n));
    }
    child.Wait();
    return out;
  }
};

TEST_F(SingleInstanceTest, LockFileNameAndFolder) {
  Utils::SingleInstanceMutex guard(L"Installer_Quillon");
  EXPECT_EQ(
      guard.LockPath(),
      std::filesystem::path(runtime_.File("D1A547DB89C0BC61_Installer_Quillon.lock")).wstring());
  EXPECT_FALSE(guard.IsHeld());
  guard.Acquire();
  EXPECT_TRUE(guard.IsHeld());
  guard.Release();
  EXPECT_FALSE(guard.IsHeld());
}

TEST_F(SingleInstanceTest, SecondHolderInTheSameProcessIsRefused) {
  Utils::SingleInstanceMutex first(L"Installer_Quillon");
  Utils::SingleInstanceMutex second(L"Installer_Quillon");
  Utils::SingleInstanceMutex other(L"Installer_Other");
  first.Acquire();
  second.Acquire();
  other.Acquire();
  EXPECT_TRUE(first.IsHeld());
  EXPECT_FALSE(second.IsHeld());
  EXPECT_TRUE(other.IsHeld());
  first.Release();
  second.Acquire();
  EXPECT_TRUE(second.IsHeld());
}

TEST_F(SingleInstanceTest, TwoProcessesRaceAndExactlyOneWins) {
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    auto a = Probe(L"Installer_Quillon 400");
    auto b = Probe(L"Installer_Quillon 400");
    std::string answers = Answer(*a) + Answer(*b);
    EXPECT_TRUE(answers == "held\nbusy\n" || answers == "busy\nheld\n") << answers;
    EXPECT_EQ(a->ExitStatus() + b->ExitStatus(), 1);  // the loser exits 1
  }
  // Both have exited: the guard is free again.
  auto c = Probe(L"Installer_Quillon 0");
  EXPECT_EQ(Answer(*c), "held\n");
}

TEST_F(SingleInstanceTest, ReleasedWhenTheHolderCrashes) {
  auto holder = Probe(L"Installer_Quillon 200 crash");
  char first[8] = {};
  ASSERT_GT(holder->ReadOutput(first, 5, 10000), 0);
  EXPECT_STREQ(first, "held\n");
  Utils::SingleInstanceMutex mine(L"Installer_Quillon");
  mine.Acquire();
  EXPECT_FALSE(mine.IsHeld());  // still held by the running probe
  holder->Wait();
  EXPECT_TRUE(holder->KilledBySignal());
  mine.Acquire();
  EXPECT_TRUE(mine.IsHeld());
}

TEST_F(SingleInstanceTest, PlantedSymlinkIsNotFollowed) {
  std::string target = runtime_.File("victim");
  std::ofstream(target) << "keep";
  std::string lock = runtime_.File("D1A547DB89C0BC61_Installer_Quillon.lock");
  ASSERT_EQ(symlink(target.c_str(), lock.c_str()), 0);
  Utils::SingleInstanceMutex guard(L"Installer_Quillon");
  guard.Acquire();
  EXPECT_FALSE(guard.IsHeld());
  std::ifstream in(target);
  std::string content;
  in >> content;
  EXPECT_EQ(content, "keep");
}

}  // namespace
