#include "sdk/batch_sender.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "sdk/record_store.h"
#include "tests/sdk/sdk_test_util.h"
#include "tools/collector/collector.h"

namespace event_sdk {
namespace {

using collector::Collector;
using collector::CollectorOptions;
using collector::ReplyMode;

std::string Batch(int count) {
  std::vector<std::string> records;
  for (int i = 0; i < count; ++i) records.push_back("{\"n\":" + std::to_string(i) + "}");
  return RecordStore::JoinBatch(records);
}

class BatchSenderTest : public testing::Test {
 protected:
  void SetUp() override {
    CollectorOptions options;
    options.stallTime = std::chrono::milliseconds(10000);
    collector_ = std::make_unique<Collector>(options);
    ASSERT_TRUE(collector_->Start());
  }
  std::unique_ptr<Collector> collector_;
};

TEST_F(BatchSenderTest, AcceptedBatchArrivesDecoded) {
  SetLastSendSucceeded(false);
  BatchSender sender(collector_->CollectUrl());
  ASSERT_TRUE(sender.Send(Batch(3)));
  EXPECT_TRUE(LastSendSucceeded());
  const auto batches = collector_->Batches();
  ASSERT_EQ(batches.size(), 1u);
  EXPECT_EQ(batches[0].userAgent, "EventCollector CPP SDK 0.9");
  EXPECT_EQ(batches[0].contentType, "application/x-www-form-urlencoded");
  EXPECT_EQ(batches[0].query, "project=pc");
  EXPECT_EQ(batches[0].batchText, Batch(3));
  ASSERT_EQ(collector_->Events().size(), 3u);
  EXPECT_EQ(collector_->Events()[2]["n"], 2);
}

TEST_F(BatchSenderTest, AnyAnswerButOkIsAFailure) {
  struct Case {
    const char* label;
    ReplyMode mode;
  };
  const Case cases[] = {{"204", ReplyMode::kNoContent},
                        {"500", ReplyMode::kServerError},
                        {"stall", ReplyMode::kStall}};
  BatchSender sender(collector_->CollectUrl());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    collector_->SetReplyMode(ReplyMode::kAccept);
    ASSERT_TRUE(sender.Send(Batch(1)));
    ASSERT_TRUE(LastSendSucceeded());
    collector_->SetReplyMode(c.mode);
    const auto start = std::chrono::steady_clock::now();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(sender.Send(Batch(2)));
    const std::string err = testing::internal::GetCapturedStderr();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(LastSendSucceeded());
    EXPECT_NE(err.find("EventCollector SDK send failed: "), std::string::npos) << err;
    // The stall (10 s) is cut by the 3 s time-out.
    EXPECT_LT(took, std::chrono::milliseconds(kSendTimeoutMs + 2000));
    if (c.mode == ReplyMode::kStall) {
      EXPECT_GE(took, std::chrono::milliseconds(2900));
    }
  }
}

TEST(BatchSenderDownTest, UnreachableServerFailsAtOnce) {
  // A port that was free a moment ago: nothing listens there any more.
  int port = 0;
  {
    Collector probe;
    ASSERT_TRUE(probe.Start());
    port = probe.Port();
  }
  SetLastSendSucceeded(true);
  BatchSender sender("http://127.0.0.1:" + std::to_string(port) + "/collect?project=pc");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(sender.Send(Batch(1)));
  testing::internal::GetCapturedStderr();
  EXPECT_FALSE(LastSendSucceeded());
  const HttpResult result = sender.Post("data_list=&gzip=1");
  EXPECT_EQ(result.status, -1);
  EXPECT_FALSE(result.response.empty());
}

TEST_F(BatchSenderTest, StoreFlushDeliversEveryRecordOnce) {
  sdk_test::TempDir dir;
  RecordStore store(dir.File("staging.txt"), collector_->CollectUrl());
  for (int i = 0; i < 70; ++i) store.AddJson("{\"n\":" + std::to_string(i) + "}");
  ASSERT_TRUE(store.FlushAll());
  const auto batches = collector_->Batches();
  ASSERT_EQ(batches.size(), 3u);
  const auto events = collector_->Events();
  ASSERT_EQ(events.size(), 70u);
  for (int i = 0; i < 70; ++i) EXPECT_EQ(events[i]["n"], i);

  // A failing collector leaves the records queued, in order.
  collector_->SetReplyMode(ReplyMode::kServerError);
  for (int i = 0; i < 5; ++i) store.AddJson("{\"m\":" + std::to_string(i) + "}");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(store.FlushAll());
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(store.QueueSizeForTesting(), 5u);
  collector_->SetReplyMode(ReplyMode::kAccept);
  ASSERT_TRUE(store.FlushAll());
  EXPECT_EQ(collector_->Events().size(), 75u);
}

// A throw-away self-signed certificate for 127.0.0.1.
bool WriteSelfSignedCertificate(const std::string& certPath, const std::string& keyPath) {
  EVP_PKEY* key = EVP_RSA_gen(2048);
  if (key == nullptr) return false;
  X509* cert = X509_new();
  ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert), 0);
  X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
  X509_set_pubkey(cert, key);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  X509_set_issuer_name(cert, name);
  bool ok = X509_sign(cert, key, EVP_sha256()) > 0;
  FILE* c = std::fopen(certPath.c_str(), "w");
  FILE* k = std::fopen(keyPath.c_str(), "w");
  ok = ok && c != nullptr && k != nullptr && PEM_write_X509(c, cert) == 1 &&
       PEM_write_PrivateKey(k, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
  if (c != nullptr) std::fclose(c);
  if (k != nullptr) std::fclose(k);
  X509_free(cert);
  EVP_PKEY_free(key);
  return ok;
}

TEST(BatchSenderTlsTest, UntrustedCertificateIsRefused) {
  sdk_test::TempDir dir;
  ASSERT_TRUE(WriteSelfSignedCertificate(dir.File("cert.pem"), dir.File("key.pem")));
  httplib::SSLServer server(dir.File("cert.pem").c_str(), dir.File("key.pem").c_str());
  ASSERT_TRUE(server.is_valid());
  int requests = 0;
  server.Post("/collect", [&](const httplib::Request&, httplib::Response& res) {
    ++requests;
    res.set_content("ok", "text/plain");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  ASSERT_GT(port, 0);
  std::thread serving([&] { server.listen_after_bind(); });

  BatchSender sender("https://127.0.0.1:" + std::to_string(port) + "/collect?project=pc");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(sender.Send(Batch(1)));
  const std::string err = testing::internal::GetCapturedStderr();
  server.stop();
  serving.join();
  EXPECT_EQ(requests, 0);
  EXPECT_NE(err.find("certificate"), std::string::npos) << err;
}

}  // namespace
}  // namespace event_sdk
