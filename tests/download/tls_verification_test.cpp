// Every downloader verifies the server's certificate: a package offered by a
// server with an untrusted (self-signed) certificate is never fetched, so
// nobody on the path can swap the package together with its MD5 folder.
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "download/create_downloader.h"
#include "tests/download/download_test_support.h"

namespace {

using download_test::EventLog;
using download_test::Wide;

// Writes a fresh self-signed certificate for 127.0.0.1 and its key.
bool WriteSelfSignedCertificate(const std::string& certPath, const std::string& keyPath) {
  EVP_PKEY* key = EVP_RSA_gen(2048);
  X509* cert = X509_new();
  bool ok = key && cert;
  if (ok) {
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), 0);
    X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    ok = X509_sign(cert, key, EVP_sha256()) > 0;
  }
  if (ok) {
    FILE* certFile = std::fopen(certPath.c_str(), "w");
    FILE* keyFile = std::fopen(keyPath.c_str(), "w");
    ok = certFile && keyFile && PEM_write_X509(certFile, cert) == 1 &&
         PEM_write_PrivateKey(keyFile, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    if (certFile) std::fclose(certFile);
    if (keyFile) std::fclose(keyFile);
  }
  X509_free(cert);
  EVP_PKEY_free(key);
  return ok;
}

size_t Discard(char*, size_t size, size_t count, void*) { return size * count; }

class TlsVerificationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillon-tls-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    const std::string cert = (dir_ / "cert.pem").string(), key = (dir_ / "key.pem").string();
    ASSERT_TRUE(WriteSelfSignedCertificate(cert, key));
    server_ = std::make_unique<httplib::SSLServer>(cert.c_str(), key.c_str());
    ASSERT_TRUE(server_->is_valid());
    const std::string package(2 << 20, 'q');
    url_ = "/packages/" + package_server::PackageServer::Md5Hex(package) + "/pkg.exe";
    server_->Get(".*", [this, package](const httplib::Request&, httplib::Response& res) {
      ++requests_;
      res.set_content(package, "application/octet-stream");
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    ASSERT_GT(port_, 0);
    listener_ = std::thread([this] { server_->listen_after_bind(); });
    while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    url_ = "https://127.0.0.1:" + std::to_string(port_) + url_;
  }
  void TearDown() override {
    if (server_) server_->stop();
    if (listener_.joinable()) listener_.join();
    server_.reset();
    std::filesystem::remove_all(dir_);
  }

  std::filesystem::path dir_;
  std::unique_ptr<httplib::SSLServer> server_;
  std::thread listener_;
  std::atomic<int> requests_{0};
  int port_ = 0;
  std::string url_;
};

TEST_F(TlsVerificationTest, UntrustedCertificateIsRefusedByEveryDownloader) {
  // Control: the server works for a client that does not verify.
  CURL* control = curl_easy_init();
  curl_easy_setopt(control, CURLOPT_URL, url_.c_str());
  curl_easy_setopt(control, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(control, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(control, CURLOPT_WRITEFUNCTION, &Discard);
  ASSERT_EQ(curl_easy_perform(control), CURLE_OK);
  curl_easy_cleanup(control);
  ASSERT_EQ(requests_, 1);

  for (int type : {kDownloadTypeCurl, kDownloadTypeMtCurl, kDownloadTypeSystem}) {
    SCOPED_TRACE(type);
    const auto destination = dir_ / ("out-" + std::to_string(type));
    EventLog log;
    {
      auto downloader =
          CreateDownloader(type, log.Callback(), Wide(url_), Wide(destination.string()));
      downloader->Start();
      ASSERT_TRUE(log.WaitForFinals(1));
    }
    auto codes = log.Codes();
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.back(), DL_CODE_FAIL);
    EXPECT_FALSE(std::filesystem::exists(destination));
  }
  EXPECT_EQ(requests_, 1) << "a downloader sent a request over an unverified connection";
}

}  // namespace
