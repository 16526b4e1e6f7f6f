#include "install/install_records.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <clocale>
#include <filesystem>
#include <regex>

#include "install_test_env.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "utils/process.h"
#include "utils/system.h"

namespace {

namespace fs = std::filesystem;
using install_test::W;

class InstallRecordsTest : public ::testing::Test {
 protected:
  static std::wstring ProgramFilesDir() {
    std::wstring base = platform::GetSpecialFolder(platform::SpecialFolder::kProgramFilesX86);
    if (base.empty()) base = platform::GetSpecialFolder(platform::SpecialFolder::kProgramFiles);
    return platform::JoinPath(base, L"Quillon");
  }
  static std::wstring ReadValue(const wchar_t* name) {
    uint32_t type = 0;
    std::wstring value;
    return Utils::ReadRegistryString(name, &type, &value) ? value : L"<absent>";
  }
  void Touch(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
  }

  install_test::ScopedUserEnv env_;
};

TEST_F(InstallRecordsTest, NoRecordsMeansNotInstalled) {
  install::InstallRecords records;
  records.installDir = L"stale";
  records.uninstallerPath = L"stale";
  install::ReadInstallRecords(&records);
  EXPECT_TRUE(records.installDir.empty());
  EXPECT_TRUE(records.uninstallerPath.empty());
  EXPECT_FALSE(records.AlreadyInstalled());
  EXPECT_EQ(install::GetDefaultInstallDir(&records), ProgramFilesDir());
}

TEST_F(InstallRecordsTest, RecordedFolderWithAndWithoutItsUninstaller) {
  fs::path old = env_.Root() / "old" / "Quillon";
  ASSERT_TRUE(Utils::WriteRegistryString(L"InstallPath", W(old)));
  install::InstallRecords records;
  install::ReadInstallRecords(&records);
  EXPECT_TRUE(records.AlreadyInstalled());
  EXPECT_EQ(records.uninstallerPath, W(old / "uninst.ep"));
  // The uninstaller is gone: still installed, but the default is recomputed.
  EXPECT_EQ(install::GetDefaultInstallDir(&records), ProgramFilesDir());
  Touch(old / "uninst.ep");
  EXPECT_EQ(install::GetDefaultInstallDir(&records), W(old));

  // A recorded "UnInstallEp" wins over the folder's uninst.ep.
  fs::path elsewhere = env_.Root() / "elsewhere" / "remove.ep";
  ASSERT_TRUE(Utils::WriteRegistryString(L"UnInstallEp", W(elsewhere)));
  install::ReadInstallRecords(&records);
  EXPECT_EQ(records.uninstallerPath, W(elsewhere));
  EXPECT_EQ(install::GetDefaultInstallDir(&records), ProgramFilesDir());
}

TEST_F(InstallRecordsTest, DefaultFolderFollowsTheAdministratorFacts) {
  env_.Set("APPDATA", (env_.Root() / "appdata").string());
  install::InstallRecords records;
  // A standard console user (an elevated run through other credentials):
  // program files, not APPDATA.
  env_.Set("SUDO_USER", "nobody");
  if (!fs::exists("/run/systemd/seats/seat0")) {
    EXPECT_EQ(install::GetDefaultInstallDir(&records), ProgramFilesDir());
    EXPECT_FALSE(records.consoleUserIsAdmin);
  }
  env_.Unset("SUDO_USER");
  std::wstring dir = install::GetDefaultInstallDir(&records);
  EXPECT_EQ(records.processIsAdmin, Utils::IsProcessAdmin());
  if (records.processIsAdmin && records.consoleUserIsAdmin) {
    EXPECT_EQ(dir, W(env_.Root() / "appdata" / "lumora" / "Quillon"));
    // Without APPDATA the administrator also gets program files.
    env_.Unset("APPDATA");
    EXPECT_EQ(install::GetDefaultInstallDir(&records), ProgramFilesDir());
  } else {
    EXPECT_EQ(dir, ProgramFilesDir());
  }
}

TEST_F(InstallRecordsTest, ResolveInstallDir) {
  install::InstallRecords records;
  std::wstring def = install::GetDefaultInstallDir(&records);
  const struct {
    std::wstring edit;
    std::wstring expected;
  } cases[] = {
      {def, def},
      {def + L"/", def},
      {def + L"/./", def},
      {L"/d/Apps", L"/d/Apps/Quillon"},
      {L"/d/Apps/", L"/d/Apps/Quillon"},
      {L"", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::NativePath(c.edit));
    EXPECT_EQ(install::ResolveInstallDir(&records, c.edit), c.expected);
  }
}

TEST_F(InstallRecordsTest, IsOverrideForbidden) {
  fs::path recorded = env_.Root() / "recorded" / "Quillon";
  fs::path other = env_.Root() / "other" / "Quillon";
  install::InstallRecords records;
  records.installDir = W(recorded);
  fs::create_directories(recorded);
  fs::create_directories(other);
  EXPECT_FALSE(install::IsOverrideForbidden(records, W(other)));  // no set.ini
  const struct {
    const wchar_t* value;
    bool forbidden;
  } cases[] = {{L"false", true}, {L"False", false}, {L"true", false}, {L"no", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::NativePath(c.value));
    for (const fs::path& dir : {recorded, other}) {
      ASSERT_TRUE(
          platform::WriteIniString(W(dir / "set.ini"), L"Uninstall", L"IsOverride", c.value));
    }
    EXPECT_EQ(install::IsOverrideForbidden(records, W(other)), c.forbidden);
    // The recorded folder itself never blocks the uninstall.
    EXPECT_FALSE(install::IsOverrideForbidden(records, W(recorded)));
    EXPECT_FALSE(install::IsOverrideForbidden(records, W(recorded) + L"/"));
  }
}

TEST_F(InstallRecordsTest, UninstallerRecordedOnlyWhenItExists) {
  fs::path dir = env_.Root() / "product" / "Quillon";
  fs::create_directories(dir);
  install::WriteInstallRecords(W(dir), L"");
  EXPECT_EQ(ReadValue(L"InstallPath"), W(dir));
  EXPECT_EQ(ReadValue(L"UnInstallEp"), L"<absent>");

  Touch(dir / "uninst.ep");
  install::WriteInstallRecords(W(dir), L"");
  EXPECT_EQ(ReadValue(L"UnInstallEp"), W(dir / "uninst.ep"));

  // A reported path that does not exist leaves the old value.
  install::WriteInstallRecords(W(dir), W(dir / "gone.ep"));
  EXPECT_EQ(ReadValue(L"UnInstallEp"), W(dir / "uninst.ep"));
  Touch(dir / "bin" / "remove.ep");
  install::WriteInstallRecords(W(dir), W(dir / "bin" / "remove.ep"));
  EXPECT_EQ(ReadValue(L"UnInstallEp"), W(dir / "bin" / "remove.ep"));
}

TEST_F(InstallRecordsTest, ProductSetIniIsUtf8AndLeavesTheLocale) {
  const std::string localeBefore = std::setlocale(LC_ALL, nullptr);
  for (bool withAppData : {true, false}) {
    SCOPED_TRACE(withAppData);
    fs::path dir = env_.Root() / (withAppData ? "安装 A" : "安装 B") / "Quillon";
    fs::create_directories(dir);
    fs::path dataDir;
    if (withAppData) {
      env_.Set("APPDATA", (env_.Root() / "appdata").string());
      dataDir = env_.Root() / "appdata" / "LumoraData" / "Quillon";
    } else {
      env_.Unset("APPDATA");
      dataDir = env_.DataHome() / "LumoraData" / "Quillon";
    }
    install::WriteProductSetIni(W(dir));
    std::wstring setIni = W(dir / "set.ini");
    EXPECT_EQ(platform::ReadIniString(setIni, L"Install", L"AppName", L""), L"Quillon");
    EXPECT_EQ(platform::ReadIniString(setIni, L"Install", L"APPStore", L""),
              platform::BaseName(platform::ExecutablePath()));
    std::wstring id = platform::ReadIniString(setIni, L"Install", L"DeviceID", L"");
    EXPECT_TRUE(std::regex_match(platform::NativePath(id), std::regex("[0-9A-Fa-f]{32}")));
    fs::path analytics = dataDir / "LMAnalytics.ini";
    EXPECT_EQ(platform::ReadIniString(setIni, L"Install", L"LMAnalyticsIni", L""), W(analytics));
    std::wstring stamp = platform::ReadIniString(W(analytics), L"Init", L"UpdateTime", L"");
    EXPECT_TRUE(std::regex_match(platform::NativePath(stamp),
                                 std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)")));
    // A second write makes a new device id.
    install::WriteProductSetIni(W(dir));
    EXPECT_NE(platform::ReadIniString(setIni, L"Install", L"DeviceID", L""), id);
  }
  EXPECT_EQ(std::setlocale(LC_ALL, nullptr), localeBefore);
}

TEST_F(InstallRecordsTest, FindProcessIdIsCaseSensitive) {
  fs::path probe = env_.Root() / "QuillonCaseProbe.exe";
  fs::copy_file(QUILLON_DEMO_VANTREL, probe);
  // The product program needs its data file beside it to keep running.
  Touch(env_.Root() / "data" / "quillon-words.dat");
  Utils::ChildProcess child;
  child.Start(L"\"" + W(probe) + L"\" --stay=30");
  pid_t found = 0;
  for (int i = 0; i < 100 && found == 0; ++i) {
    found = install::FindProcessId(L"QuillonCaseProbe.exe");
    if (found == 0) usleep(20000);
  }
  EXPECT_EQ(found, child.Pid());
  EXPECT_EQ(install::FindProcessId(L"quilloncaseprobe.exe"), 0);
  EXPECT_EQ(install::FindProcessId(L"QUILLONCASEPROBE.EXE"), 0);
  EXPECT_EQ(install::FindProcessId(L""), 0);
  ::kill(child.Pid(), SIGKILL);
  child.Wait();
  EXPECT_EQ(install::FindProcessId(L"QuillonCaseProbe.exe"), 0);
}

TEST(InstallDirTextTest, UnsafeFolderTextIsRefused) {
  const struct {
    std::wstring folder;
    bool safe;
  } cases[] = {
      {L"/opt/Quillon", true},
      {L"/home/a/My Apps/安装/Quillon", true},
      {L"/home/a/it's/Quillon", true},
      {L"", false},
      {L"relative/Quillon", false},
      {L"/home/a\"b/Quillon", false},
      {L"/home/a\nb", false},
      {L"/home/a\tb", false},
      {L"/home/a\x7f", false},
      {L"/home/a\x85", false},
      {std::wstring(L"/home/a\0b", 9), false},
      {L"/home/a\\", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::NativePath(c.folder));
    EXPECT_EQ(install::IsInstallDirTextSafe(c.folder), c.safe);
  }
}

}  // namespace
