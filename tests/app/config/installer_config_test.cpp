#include "app/config/installer_config.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "tests/utils/test_support.h"
#include "utils/process.h"

namespace fs = std::filesystem;

namespace {

class ConfigTest : public testing::Test {
 protected:
  quillon_test::TempDir dir_;
  std::wstring exe_ = dir_.WFile("QuillonSetup_v2.exe");
  std::wstring ini_ = dir_.WFile("LumoraInstallerConfig.ini");

  InstallerConfig Load(const std::string* iniContent) {
    if (iniContent) std::ofstream(dir_.File("LumoraInstallerConfig.ini")) << *iniContent;
    InstallerConfig config;
    config.InstallerFileName = L"changed";
    config.LoadDefaultsAndIni(exe_, ini_);
    return config;
  }
};

void ExpectDefaults(const InstallerConfig& c, bool isCheckNet) {
  EXPECT_EQ(c.AppName, L"Quillon");
  EXPECT_EQ(c.AppVersion, L"1.7.9");
  EXPECT_EQ(c.DownloadUrl, L"http://download.quillon.example/software/277");
  EXPECT_EQ(c.DownloadType, 1);
  EXPECT_EQ(c.IsCheckNet, isCheckNet);
  EXPECT_TRUE(c.IsEnableAppAnalytics);
  EXPECT_DOUBLE_EQ(c.DownloadScale, 0.7);
  EXPECT_EQ(c.DlAppNameSuffix, L".downloader");
  EXPECT_EQ(c.DlAppVersion, L"");
  EXPECT_EQ(c.InstCmd, L"");
  EXPECT_TRUE(c.CurlReady);
  EXPECT_EQ(c.AbGroup, L"IN");
}

TEST_F(ConfigTest, WithoutIniFileTheDefaultsStand) {
  InstallerConfig c = Load(nullptr);
  ExpectDefaults(c, false);
  EXPECT_EQ(c.InstallerFileName, L"QuillonSetup_v2.exe");
}

TEST_F(ConfigTest, SectionHeaderAloneTurnsTheNetworkCheckOn) {
  const std::string ini = "[Install]\n";
  InstallerConfig c = Load(&ini);
  ExpectDefaults(c, true);
}

TEST_F(ConfigTest, IniValuesAndTheirEdges) {
  struct Case {
    std::string ini;
    void (*check)(const InstallerConfig&);
  };
  const Case cases[] = {
      {"[install]\ndownloadurl = http://h/${ROUTE}/p/${ROUTE}\nDownloadType=3\nIsCheckNet=false\n"
       "IsEnableAppAnalytics=false\nDlAppNameSuffix=.dl\nm_DlAppVersion=2.0\nDownloadScale=0.5\n"
       "InstCmd= -silent \nAppName=Other\nAppVersion=9\n",
       [](const InstallerConfig& c) {
         EXPECT_EQ(c.DownloadUrl, L"http://h/download_silent/p/download_silent");
         EXPECT_EQ(c.DownloadType, 3);
         EXPECT_FALSE(c.IsCheckNet);
         EXPECT_FALSE(c.IsEnableAppAnalytics);
         EXPECT_EQ(c.DlAppNameSuffix, L".dl");
         EXPECT_EQ(c.DlAppVersion, L"2.0");
         EXPECT_DOUBLE_EQ(c.DownloadScale, 0.5);
         EXPECT_EQ(c.InstCmd, L"-silent");
         EXPECT_EQ(c.AppName, L"Quillon");
         EXPECT_EQ(c.AppVersion, L"1.7.9");
       }},
      {"[Install]\nIsCheckNet=True\nIsEnableAppAnalytics=1\nDownloadType=abc\n"
       "DownloadScale=abc\n",
       [](const InstallerConfig& c) {
         EXPECT_FALSE(c.IsCheckNet);
         EXPECT_FALSE(c.IsEnableAppAnalytics);
         EXPECT_EQ(c.DownloadType, 0);
         EXPECT_DOUBLE_EQ(c.DownloadScale, 0.0);  // not a number reads as 0
       }},
      {"[Install]\nDownloadScale=1e999\nDownloadType=2x\n",
       [](const InstallerConfig& c) {
         EXPECT_DOUBLE_EQ(c.DownloadScale, 0.7);  // out of range keeps the default
         EXPECT_EQ(c.DownloadType, 2);
       }},
      {"[Install]\nDownloadScale=1.5\n",
       [](const InstallerConfig& c) { EXPECT_DOUBLE_EQ(c.DownloadScale, 0.7); }},
      {"[Install]\nDownloadScale=-0.1\n",
       [](const InstallerConfig& c) { EXPECT_DOUBLE_EQ(c.DownloadScale, 0.7); }},
      {"[Install]\nDownloadScale=nan\n",
       [](const InstallerConfig& c) { EXPECT_DOUBLE_EQ(c.DownloadScale, 0.7); }},
      {"[Install]\nDownloadUrl=http://h/" + std::string(300, 'x') + "\n",
       [](const InstallerConfig& c) { EXPECT_EQ(c.DownloadUrl.size(), 259u); }},
      {"[Install]\nDownloadUrl=http://h/${route}\n",
       [](const InstallerConfig& c) { EXPECT_EQ(c.DownloadUrl, L"http://h/${route}"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini);
    c.check(Load(&c.ini));
  }
}

TEST(ConfigCommandLine, OptionsOverrideTheEarlierLayers) {
  struct Case {
    std::wstring line;
    void (*check)(const InstallerConfig&);
  };
  const Case cases[] = {
      {L"prog.exe",
       [](const InstallerConfig& c) {
         EXPECT_TRUE(c.IsCheckNet);
         EXPECT_EQ(c.DownloadUrl, L"http://ini/url");
         EXPECT_EQ(c.DownloadType, 2);
       }},
      {L"prog.exe -ischecknet=false -downloadurl= -downloadtype=abc",
       [](const InstallerConfig& c) {
         EXPECT_FALSE(c.IsCheckNet);
         EXPECT_EQ(c.DownloadUrl, L"");
         EXPECT_EQ(c.DownloadType, 0);
       }},
      {L"prog.exe -downloadtype=3 -downloadtype=2 -downloadscale=0.25 -isenableappanalytics=true "
       L"-dlappnamesuffix=.x -dlappversion=3.1 \"-instcmd=-a \\\"b c\\\"\"",
       [](const InstallerConfig& c) {
         EXPECT_EQ(c.DownloadType, 3);  // the first value stays
         EXPECT_DOUBLE_EQ(c.DownloadScale, 0.25);
         EXPECT_TRUE(c.IsEnableAppAnalytics);
         EXPECT_EQ(c.DlAppNameSuffix, L".x");
         EXPECT_EQ(c.DlAppVersion, L"3.1");
         EXPECT_EQ(c.InstCmd, L"-a \"b c\"");
       }},
      {L"prog.exe -downloadscale=abc -isenableappanalytics=TRUE -DownloadType=3",
       [](const InstallerConfig& c) {
         EXPECT_DOUBLE_EQ(c.DownloadScale, 0.7);  // not a number: sane default
         EXPECT_FALSE(c.IsEnableAppAnalytics);
         EXPECT_EQ(c.DownloadType, 2);  // keys are case-sensitive
       }},
      {L"prog.exe -downloadscale=7 -downloadurl=http://h/${ROUTE}/x",
       [](const InstallerConfig& c) {
         EXPECT_DOUBLE_EQ(c.DownloadScale, 0.7);
         EXPECT_EQ(c.DownloadUrl, L"http://h/download_silent/x");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(fs::path(c.line).string());
    InstallerConfig config;
    config.IsCheckNet = true;
    config.DownloadType = 2;
    config.DownloadScale = 0.4;
    config.DownloadUrl = L"http://ini/url";
    config.ApplyCommandLine(Utils::ParseCommandLine(c.line));
    if (c.line == L"prog.exe") {
      EXPECT_DOUBLE_EQ(config.DownloadScale, 0.4);
    }
    c.check(config);
  }
}

TEST(RouteSubstitution, WordByVersionAndBitness) {
  struct Case {
    std::wstring version;
    bool wow64;
    std::wstring word;
  };
  const Case cases[] = {
      {L"XP", false, L"download_silent_xp"},  {L"XP-", true, L"download_silent_xp"},
      {L"XP+", false, L"download_silent_xp"}, {L"7", true, L"download_silent"},
      {L"10", false, L"download_silent"},     {L"debian 12", true, L"download_silent"},
      {L"xp", false, L"download_silent"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(fs::path(c.version).string());
    EXPECT_EQ(InstallerConfig::RouteWord(c.version, c.wow64), c.word);
  }
  InstallerConfig config;
  config.SetDownloadUrl(L"http://h/a");
  EXPECT_EQ(config.DownloadUrl, L"http://h/a");
}

// The real executable, copied under the name a user downloaded it as, with
// the INI file beside it: the INI layer is in place before main() runs, and
// the command-line layer reads the process's own argv.
class ConfigProcessTest : public testing::Test {
 protected:
  quillon_test::TempDir dir_;
  std::string exe_ = dir_.File("Quillon_setup (1).exe");

  void SetUp() override { fs::copy_file(QUILLON_CONFIG_PROBE, exe_); }
  std::string Run(const std::wstring& args) {
    Utils::ChildProcess child;
    child.Start(L"\"" + fs::path(exe_).wstring() + L"\" " + args);
    std::string out;
    char buffer[1024];
    for (ssize_t n; (n = child.ReadOutput(buffer, sizeof(buffer), 10000)) > 0;) {
      out.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_EQ(child.Wait(), 0);
    return out;
  }
};

TEST_F(ConfigProcessTest, IniBesideTheExecutableIsReadBeforeMain) {
  EXPECT_EQ(Run(L""),
            "InstallerFileName=Quillon_setup (1).exe\n"
            "DownloadUrl=http://download.quillon.example/software/277\nDownloadType=1\n"
            "IsCheckNet=0\nIsEnableAppAnalytics=1\nDownloadScale=0.7\n"
            "DlAppNameSuffix=.downloader\nDlAppVersion=\nInstCmd=\n");
  std::ofstream(dir_.File("LumoraInstallerConfig.ini"))
      << "[Install]\nDownloadType=3\nIsCheckNet=true\nDownloadScale=0.6\nInstCmd=/S\n";
  EXPECT_EQ(Run(L"--apply -ischecknet=false -downloadurl=http://h/中"),
            "InstallerFileName=Quillon_setup (1).exe\n"
            "DownloadUrl=http://download.quillon.example/software/277\nDownloadType=3\n"
            "IsCheckNet=1\nIsEnableAppAnalytics=1\nDownloadScale=0.6\n"
            "DlAppNameSuffix=.downloader\nDlAppVersion=\nInstCmd=/S\n"
            "--\n"
            "InstallerFileName=Quillon_setup (1).exe\n"
            "DownloadUrl=http://h/\xE4\xB8\xAD\nDownloadType=3\n"
            "IsCheckNet=0\nIsEnableAppAnalytics=1\nDownloadScale=0.6\n"
            "DlAppNameSuffix=.downloader\nDlAppVersion=\nInstCmd=/S\n");
  // The file removed first thing in main(): its values were already read.
  EXPECT_EQ(Run(L"--remove-ini"),
            "InstallerFileName=Quillon_setup (1).exe\n"
            "DownloadUrl=http://download.quillon.example/software/277\nDownloadType=3\n"
            "IsCheckNet=1\nIsEnableAppAnalytics=1\nDownloadScale=0.6\n"
            "DlAppNameSuffix=.downloader\nDlAppVersion=\nInstCmd=/S\n");
  EXPECT_FALSE(fs::exists(dir_.File("LumoraInstallerConfig.ini")));
}

}  // namespace
