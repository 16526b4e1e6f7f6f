#include "tracker/device_info.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <regex>
#include <set>
#include <string>

#include "platform/ini_file.h"
#include "platform/paths.h"
#include "tests/tracker/tracker_test_env.h"
#include "utils/text.h"

namespace usage {
namespace lumora {
namespace device {
namespace {

std::wstring W(const std::string& s) { return Utils::MultiByteToWide(s, Utils::kCodePageUtf8); }

std::string ReadBase(const std::string& ini, const char* key) {
  return Utils::WideToMultiByte(platform::ReadIniString(W(ini), L"Base", W(key), L"<none>"),
                                Utils::kCodePageUtf8);
}

TEST(DeviceInfoTest, SystemNameAndUserAgentDescribeThisMachine) {
  const SystemName system = GetSystemName();
  EXPECT_EQ(system.name, "Linux");
  EXPECT_FALSE(system.version.empty());
  struct utsname u {};
  ASSERT_EQ(uname(&u), 0);
  EXPECT_EQ(GetUserAgent(),
            "Mozilla/5.0(Linux " + system.version + "; " + std::string(u.machine) + ";)");
}

TEST(DeviceInfoTest, LocaleTexts) {
  struct Case {
    const char* text;
    const char* locale;
    const char* language;
    const char* country;
  };
  const Case cases[] = {
      {"zh_CN.UTF-8", "zh_CN", "zh", "CN"},
      {"en_US", "en_US", "en", "US"},
      {"de_DE@euro", "de_DE", "de", "DE"},
      {"C", "", "", ""},
      {"POSIX", "", "", ""},
      {"C.UTF-8", "", "", ""},
      {"", "", "", ""},
      {"fr", "fr", "fr", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const LocaleInfo info = ParseLocaleText(c.text);
    EXPECT_EQ(info.locale, c.locale);
    EXPECT_EQ(info.language, c.language);
    EXPECT_EQ(info.country, c.country);
  }
}

TEST(DeviceInfoTest, StoredLocaleWinsOverTheEnvironment) {
  tracker_test::ScopedEnv env;
  env.Unset("LC_ALL");
  env.Set("LC_MESSAGES", "ja_JP.UTF-8");
  env.Set("LANG", "zh_CN.UTF-8");
  EXPECT_EQ(GetLocale("pt_BR").locale, "pt_BR");
  EXPECT_EQ(GetLocale("pt_BR").country, "BR");
  EXPECT_EQ(GetLocale("").locale, "ja_JP");  // LC_MESSAGES before LANG
  EXPECT_EQ(GetLocale("nounderscore").language, "ja");
  env.Set("LC_ALL", "ko_KR.UTF-8");
  EXPECT_EQ(GetLocale("").locale, "ko_KR");
  env.Unset("LC_ALL");
  env.Unset("LC_MESSAGES");
  EXPECT_EQ(GetLocale("").locale, "zh_CN");
  env.Unset("LANG");
  EXPECT_EQ(GetLocale("").locale, "");
}

TEST(DeviceInfoTest, ScreenSizeIsZeroWithoutAnOpenDisplay) {
  int32_t width = -1, height = -1;
  GetScreenSize(&width, &height);
  EXPECT_EQ(width, 0);
  EXPECT_EQ(height, 0);
}

TEST(DeviceInfoTest, NewDistinctIdsAreVersion4Guids) {
  const std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    const std::string id = NewDistinctId();
    EXPECT_TRUE(std::regex_match(id, form)) << id;
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 50u);
}

TEST(DeviceInfoTest, FailingRandomSourceFallsBackAfterTenRetries) {
  int calls = 0;
  SetRandomSourceForTesting([&](void*, size_t) {
    ++calls;
    return false;
  });
  const std::string first = NewDistinctId();
  const std::string second = NewDistinctId();
  SetRandomSourceForTesting(nullptr);
  EXPECT_EQ(calls, 22);  // one try and ten retries per id
  // "%x%x-%x-%x-%x-%x%x%x": the fourth place is 0x4xxx, the fifth 0x8000..0xBFFE.
  const std::regex form("[0-9a-f]+-[0-9a-f]+-4[0-9a-f]{3}-([89ab][0-9a-f]{3})-[0-9a-f]+");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(first, match, form)) << first;
  EXPECT_LE(std::stoul(match[1].str(), nullptr, 16), 0xBFFEu);
  EXPECT_TRUE(std::regex_match(second, form)) << second;
  EXPECT_NE(first, second);
}

TEST(DeviceInfoTest, DefaultPathsLieUnderTheDataHome) {
  tracker_test::TempHome home;
  const TrackerPaths paths = ResolvePaths("Quillon.downloader");
  EXPECT_EQ(paths.dataFolder, home.DataFolder("Quillon.downloader"));
  EXPECT_EQ(paths.iniPath, paths.dataFolder + "Quillon.downloader_LMSConfigure.ini");
  EXPECT_TRUE(platform::IsDirectory(W(paths.dataFolder)));
  EXPECT_EQ(DefaultLogPath(paths.dataFolder, "A"), paths.dataFolder + "A_LMSLog.txt");
}

TEST(DeviceInfoTest, SetIniRedirectsTheIniFile) {
  struct Case {
    const char* label;
    std::string value;  // {home} is replaced by the temporary folder
    std::string iniPath;
    std::string dataFolder;
  };
  const Case cases[] = {
      {"forward slashes", "{home}/product/x.ini", "{home}/product/x.ini", "{home}/product/"},
      {"backslashes", "{home}\\deep\\er\\y.ini", "{home}/deep/er/y.ini", "{home}/deep/er/"},
      {"bare file name is ignored", "x.ini", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    tracker_test::TempHome home;
    auto fill = [&](std::string s) {
      const size_t at = s.find("{home}");
      if (at != std::string::npos) s.replace(at, 6, home.Path());
      return s;
    };
    ASSERT_TRUE(platform::WriteIniString(W(home.RedirectFolder() + "/Set.ini"), L"Install",
                                         L"LMAnalyticsIni", W(fill(c.value))));
    const TrackerPaths paths = ResolvePaths("App");
    if (c.iniPath.empty()) {
      EXPECT_EQ(paths.dataFolder, home.DataFolder("App"));
    } else {
      EXPECT_EQ(paths.iniPath, fill(c.iniPath));
      EXPECT_EQ(paths.dataFolder, fill(c.dataFolder));
      EXPECT_TRUE(platform::IsDirectory(W(paths.dataFolder)));
    }
  }
}

TEST(DeviceInfoTest, IdentityRoundTripsThroughTheIniFile) {
  tracker_test::TempHome home;
  const std::string ini = home.File("id.ini");
  TrackerState state;
  state.distinctId = "D";
  state.primaryDistinctId = "P";
  state.userId = "U";
  state.vipLevel = 7;
  state.storedUrl = "https://x/collect?project=pc";
  state.isLogined = true;
  SaveIdentity(ini, state);
  const std::vector<std::string> lines = sdk_test::SplitLines(sdk_test::ReadFile(ini));
  std::vector<std::string> keys;
  for (const std::string& line : lines) {
    if (line.find('=') != std::string::npos) keys.push_back(line.substr(0, line.find('=')));
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"DistinctId", "PrimaryDistinctId", "UserId",
                                            "UserVipLevel", "URL", "isLogined"}));
  EXPECT_EQ(ReadBase(ini, "isLogined"), "OK");

  TrackerState loaded;
  LoadIdentity(ini, &loaded);
  EXPECT_EQ(loaded.distinctId, "D");
  EXPECT_EQ(loaded.primaryDistinctId, "P");
  EXPECT_EQ(loaded.userId, "U");
  EXPECT_EQ(loaded.vipLevel, 7);
  EXPECT_EQ(loaded.storedUrl, state.storedUrl);
  EXPECT_TRUE(loaded.isLogined);

  for (const char* text : {"ok", "OKAY", "NG", ""}) {
    SCOPED_TRACE(text);
    platform::WriteIniString(W(ini), L"Base", L"isLogined", W(text));
    LoadIdentity(ini, &loaded);
    EXPECT_FALSE(loaded.isLogined);
  }
  // An empty primary id reads as the distinct id.
  platform::WriteIniString(W(ini), L"Base", L"PrimaryDistinctId", L"");
  LoadIdentity(ini, &loaded);
  EXPECT_EQ(loaded.primaryDistinctId, "D");
}

TEST(DeviceInfoTest, MissingIniGetsANewIdSavedAtOnce) {
  tracker_test::TempHome home;
  const std::string ini = home.File("new.ini");
  TrackerState state;
  state.userId = "stale";
  LoadIdentity(ini, &state);
  EXPECT_TRUE(state.userId.empty());
  EXPECT_EQ(state.distinctId.size(), 36u);
  EXPECT_EQ(state.primaryDistinctId, "");
  EXPECT_EQ(ReadBase(ini, "DistinctId"), state.distinctId);
  EXPECT_EQ(ReadBase(ini, "isLogined"), "NG");

  WriteAppRecord(ini, "store", "name", "1.0");
  EXPECT_EQ(Utils::WideToMultiByte(
                platform::ReadIniString(W(ini), L"UninstallInfo", L"AppStore", L""), 65001),
            "store");
}

}  // namespace
}  // namespace device
}  // namespace lumora
}  // namespace usage
