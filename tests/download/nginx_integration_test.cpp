// The three downloaders against a real nginx, started here on a loopback port
// with its own temporary prefix: a "return 302" from /software/277 to the
// package under its MD5 folder.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "download/create_downloader.h"
#include "tests/download/download_test_support.h"
#include "utils/files.h"

namespace {

using download_test::EventLog;
using download_test::RandomBytes;
using download_test::Wide;

std::string FindNginx() {
  for (const char* candidate : {"/usr/sbin/nginx", "/usr/bin/nginx", "/usr/local/sbin/nginx"}) {
    if (access(candidate, X_OK) == 0) return candidate;
  }
  return "";
}

class NginxIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string nginx = FindNginx();
    if (nginx.empty()) {
      GTEST_SKIP() << "nginx is not installed (Debian package nginx-light): "
                      "the integration test against a real web server is skipped";
    }
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quillon-nginx-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    prefix_ = pattern;
    for (const char* dir : {"conf", "logs", "tmp", "html"}) {
      std::filesystem::create_directories(prefix_ / dir);
    }
    // Two segments for the segmented downloader.
    package_ = RandomBytes(24 << 20, 61);
    md5_ = package_server::PackageServer::Md5Hex(package_);
    auto folder = prefix_ / "html" / "packages" / md5_;
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "pkg.exe", std::ios::binary) << package_;

    // nginx takes over a socket already bound to a free loopback port.
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener_, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener_, 64), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length), 0);
    port_ = ntohs(address.sin_port);

    const std::string p = prefix_.string();
    std::ofstream conf(prefix_ / "conf" / "nginx.conf");
    if (geteuid() == 0) conf << "user root;\n";  // workers must read the 0700 prefix
    conf << "daemon off;\nworker_processes 1;\n"
         << "error_log " << p << "/logs/error.log;\npid " << p << "/logs/nginx.pid;\n"
         << "lock_file " << p << "/logs/nginx.lock;\n"
         << "events { worker_connections 64; }\n"
         << "http {\n  access_log off;\n"
         << "  client_body_temp_path " << p << "/tmp/body;\n"
         << "  proxy_temp_path " << p << "/tmp/proxy;\n"
         << "  fastcgi_temp_path " << p << "/tmp/fastcgi;\n"
         << "  uwsgi_temp_path " << p << "/tmp/uwsgi;\n"
         << "  scgi_temp_path " << p << "/tmp/scgi;\n"
         << "  server {\n    listen 127.0.0.1:" << port_ << ";\n    root " << p << "/html;\n"
         << "    location = /software/277 { return 302 /packages/" << md5_ << "/pkg.exe; }\n"
         << "  }\n}\n";
    conf.close();

    const std::string inherited = "NGINX=" + std::to_string(listener_) + ";";
    const std::string errorLog = p + "/logs/error.log";
    pid_ = fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      char* const env[] = {const_cast<char*>(inherited.c_str()), nullptr};
      execle(nginx.c_str(), "nginx", "-p", p.c_str(), "-c", "conf/nginx.conf", "-e",
             errorLog.c_str(), static_cast<char*>(nullptr), env);
      _exit(127);
    }
    close(listener_);
    listener_ = -1;
    // Ready when the pid file appears (the master has set up the socket).
    for (int i = 0; i < 100 && !std::filesystem::exists(prefix_ / "logs" / "nginx.pid"); ++i) {
      int status = 0;
      ASSERT_EQ(waitpid(pid_, &status, WNOHANG), 0)
          << "nginx ended: " << download_test::ReadFile(errorLog);
      usleep(50000);
    }
    ASSERT_TRUE(std::filesystem::exists(prefix_ / "logs" / "nginx.pid"))
        << download_test::ReadFile(errorLog);
  }

  void TearDown() override {
    if (listener_ >= 0) close(listener_);
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    if (!prefix_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(prefix_, ignored);
    }
  }

  std::filesystem::path prefix_;
  std::string package_, md5_;
  int listener_ = -1;
  int port_ = 0;
  pid_t pid_ = -1;
};

TEST_F(NginxIntegrationTest, EveryDownloaderFetchesAndVerifiesThePackage) {
  const std::wstring url = Wide("http://127.0.0.1:" + std::to_string(port_) + "/software/277");
  for (int type : {kDownloadTypeCurl, kDownloadTypeMtCurl, kDownloadTypeSystem}) {
    SCOPED_TRACE(type);
    const auto destination = prefix_ / ("out-" + std::to_string(type) + ".exe");
    EventLog log;
    {
      auto downloader = CreateDownloader(type, log.Callback(), url, Wide(destination.string()));
      downloader->Start();
      ASSERT_TRUE(log.WaitForFinals(1));
    }
    auto codes = log.Codes();
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.front(), DL_CODE_START);
    EXPECT_EQ(codes.back(), DL_CODE_SUCCESS);
    // The MD5 folder was checked, so no checksum message.
    EXPECT_TRUE(log.Only(DL_CODE_MESSAGE).empty());
    EXPECT_EQ(Utils::GetFileMd5(destination.string()), md5_);
  }
}

}  // namespace
