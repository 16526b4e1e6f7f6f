#include "sdk/record_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/sdk/sdk_test_util.h"
#include "tools/collector/collector.h"

namespace event_sdk {
namespace {

std::string Rec(const std::string& id) { return "{\"id\":\"" + id + "\"}"; }

std::vector<std::string> Ids(const std::string& prefix, int from, int to) {
  std::vector<std::string> out;
  for (int i = from; i < to; ++i) out.push_back(Rec(prefix + std::to_string(i)));
  return out;
}

// Ids of the records in a batch text, checked to be a JSON array.
std::vector<std::string> BatchIds(const std::string& batchText) {
  std::vector<std::string> ids;
  for (const auto& e : nlohmann::json::parse(batchText)) ids.push_back(Rec(e["id"]));
  return ids;
}

class RecordStoreTest : public testing::Test {
 protected:
  RecordStoreTest() : store_(dir_.File("staging.txt"), "http://127.0.0.1:9/collect") {
    store_.SetSendHookForTesting([this](const std::string& text) {
      batches_.push_back(text);
      if (duringSend_) duringSend_();
      return sendResult_;
    });
  }

  sdk_test::TempDir dir_;
  RecordStore store_;
  std::vector<std::string> batches_;
  bool sendResult_ = true;
  std::function<void()> duringSend_;
};

TEST_F(RecordStoreTest, The1025thRecordDropsTheOldest) {
  for (const auto& r : Ids("r", 0, 1025)) store_.AddJson(r);
  const auto queued = store_.QueuedRecordsForTesting();
  ASSERT_EQ(queued.size(), 1024u);
  EXPECT_EQ(queued.front(), Rec("r1"));
  EXPECT_EQ(queued.back(), Rec("r1024"));
}

TEST_F(RecordStoreTest, FlushAllSendsBatchesOfThirtyOldestFirst) {
  for (const auto& r : Ids("r", 0, 70)) store_.AddJson(r);
  EXPECT_TRUE(store_.FlushAll());
  ASSERT_EQ(batches_.size(), 3u);
  EXPECT_EQ(BatchIds(batches_[0]), Ids("r", 0, 30));
  EXPECT_EQ(BatchIds(batches_[1]), Ids("r", 30, 60));
  EXPECT_EQ(BatchIds(batches_[2]), Ids("r", 60, 70));
  EXPECT_EQ(store_.QueueSizeForTesting(), 0u);
}

TEST_F(RecordStoreTest, EmptyFlushSendsNothing) {
  EXPECT_TRUE(store_.FlushOneBatch());
  EXPECT_TRUE(store_.FlushAll());
  EXPECT_TRUE(batches_.empty());
}

TEST_F(RecordStoreTest, FailedBatchGoesBackAsFarAsItFits) {
  for (const auto& r : Ids("b", 0, 30)) store_.AddJson(r);
  // While the batch is in flight, 1000 newer records arrive.
  duringSend_ = [this] {
    for (const auto& r : Ids("o", 0, 1000)) store_.AddJson(r);
  };
  sendResult_ = false;
  EXPECT_FALSE(store_.FlushAll());
  ASSERT_EQ(batches_.size(), 1u);
  const auto queued = store_.QueuedRecordsForTesting();
  ASSERT_EQ(queued.size(), 1024u);
  EXPECT_EQ(std::vector<std::string>(queued.begin(), queued.begin() + 24), Ids("b", 6, 30));
  EXPECT_EQ(std::vector<std::string>(queued.begin() + 24, queued.end()), Ids("o", 0, 1000));
}

TEST_F(RecordStoreTest, ThrowingSendKeepsTheBatch) {
  for (const auto& r : Ids("r", 0, 40)) store_.AddJson(r);
  store_.SetSendHookForTesting(
      [](const std::string&) -> bool { throw std::runtime_error("network exploded"); });
  testing::internal::CaptureStderr();
  EXPECT_FALSE(store_.FlushAll());
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Exception when flush failed: (network exploded) "), std::string::npos);
  EXPECT_EQ(store_.QueuedRecordsForTesting(), Ids("r", 0, 40));
}

TEST_F(RecordStoreTest, StagingFileLinesGoToTheHeadInFileOrder) {
  const std::string staged =
      Rec("s0") + "\r\n" + "not a record\r\n" + Rec("s1") + "\r\n\r\n" + Rec("s2") + "\n";
  sdk_test::WriteFile(store_.StagingPath(), staged);
  store_.AddJson(Rec("new"));
  sendResult_ = false;  // keep everything queued
  EXPECT_FALSE(store_.FlushAll());
  EXPECT_EQ(store_.QueuedRecordsForTesting(),
            (std::vector<std::string>{Rec("s0"), Rec("s1"), Rec("s2"), Rec("new")}));
  // Nothing was sent, so the file still holds its records.
  EXPECT_EQ(sdk_test::ReadFile(store_.StagingPath()), staged);
  // The file is read once per store.
  EXPECT_FALSE(store_.FlushAll());
  EXPECT_EQ(store_.QueueSizeForTesting(), 4u);

  // Once sent, they leave the file.
  sendResult_ = true;
  EXPECT_TRUE(store_.FlushAll());
  EXPECT_EQ(BatchIds(batches_.back()),
            (std::vector<std::string>{Rec("s0"), Rec("s1"), Rec("s2"), Rec("new")}));
  EXPECT_EQ(sdk_test::ReadFile(store_.StagingPath()), "");
}

TEST_F(RecordStoreTest, FailedFlushAllKeepsTheUnsentRecordsOnDisk) {
  std::string staged;
  for (const auto& r : Ids("s", 0, 40)) staged += r + "\r\n";
  sdk_test::WriteFile(store_.StagingPath(), staged);
  store_.AddJson(Rec("new"));
  // The first batch goes out, the second fails.
  int calls = 0;
  store_.SetSendHookForTesting([&](const std::string&) { return ++calls == 1; });
  EXPECT_FALSE(store_.FlushAll());
  std::string expected;
  for (const auto& r : Ids("s", 30, 40)) expected += r + "\r\n";
  expected += Rec("new") + "\r\n";
  EXPECT_EQ(sdk_test::ReadFile(store_.StagingPath()), expected);
}

TEST_F(RecordStoreTest, StagingKeepsTheNewestLinesThatFit) {
  std::string content;
  for (const auto& r : Ids("s", 0, 50)) content += r + "\r\n";
  sdk_test::WriteFile(store_.StagingPath(), content);
  for (const auto& r : Ids("m", 0, 1000)) store_.AddJson(r);
  store_.Close();
  const auto lines = sdk_test::SplitLines(sdk_test::ReadFile(store_.StagingPath()));
  ASSERT_EQ(lines.size(), 1024u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 24), Ids("s", 26, 50));
  EXPECT_EQ(lines.back(), Rec("m999"));
}

TEST_F(RecordStoreTest, CloseSavesTheQueueForTheNextRun) {
  for (const auto& r : Ids("r", 0, 5)) store_.AddJson(r);
  store_.Close();
  store_.AddJson(Rec("after-close"));  // dropped: the store is closed
  EXPECT_FALSE(store_.FlushAll());
  std::string expected;
  for (const auto& r : Ids("r", 0, 5)) expected += r + "\r\n";
  EXPECT_EQ(sdk_test::ReadFile(store_.StagingPath()), expected);
  // Only the staging file is left in the folder: no temporary files.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1);

  RecordStore next(store_.StagingPath(), "http://127.0.0.1:9/collect");
  std::vector<std::string> sent;
  next.SetSendHookForTesting([&](const std::string& text) {
    sent = BatchIds(text);
    return true;
  });
  next.AddJson(Rec("r5"));
  EXPECT_TRUE(next.FlushAll());
  EXPECT_EQ(sent, Ids("r", 0, 6));
  next.Close();
  EXPECT_EQ(sdk_test::ReadFile(store_.StagingPath()), "");
}

TEST_F(RecordStoreTest, StaleTemporaryFilesAreRemoved) {
  namespace fs = std::filesystem;
  const std::string stale = store_.StagingPath() + ".a1B2c3";
  const std::string fresh = store_.StagingPath() + ".z9Y8x7";
  const std::string other = dir_.File("unrelated.txt");
  for (const std::string& f : {stale, fresh, other}) sdk_test::WriteFile(f, "{\"half\":");
  fs::last_write_time(stale, fs::file_time_type::clock::now() - std::chrono::hours(1));
  fs::last_write_time(other, fs::file_time_type::clock::now() - std::chrono::hours(1));
  EXPECT_TRUE(store_.FlushAll());
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(fresh));
  EXPECT_TRUE(fs::exists(other));
}

TEST_F(RecordStoreTest, FullQueueEmptiesTheStagingFileUnread) {
  sdk_test::WriteFile(store_.StagingPath(), Rec("old") + "\r\n");
  for (const auto& r : Ids("m", 0, 1024)) store_.AddJson(r);
  store_.Close();
  const auto lines = sdk_test::SplitLines(sdk_test::ReadFile(store_.StagingPath()));
  ASSERT_EQ(lines.size(), 1024u);
  EXPECT_EQ(lines.front(), Rec("m0"));
}

TEST(BatchBodyTest, EveryBodyDecodesBackToItsBatch) {
  const std::vector<std::string> batches = {
      "[]",
      RecordStore::JoinBatch({Rec("a")}),
      RecordStore::JoinBatch(Ids("安装中-", 0, 30)),
      RecordStore::JoinBatch({std::string("{\"k\":\"") + std::string(5000, 'x') + "\"}"}),
  };
  for (const std::string& batch : batches) {
    SCOPED_TRACE(batch.substr(0, 40));
    std::string body;
    ASSERT_TRUE(BuildBatchBody(batch, &body));
    EXPECT_EQ(body.rfind("data_list=", 0), 0u);
    ASSERT_GE(body.size(), 17u);
    EXPECT_EQ(body.substr(body.size() - 7), "&gzip=1");
    // Only unreserved characters and %XX escapes in the encoded part.
    const std::string encoded = body.substr(10, body.size() - 17);
    EXPECT_EQ(encoded.find_first_of("+/=&"), std::string::npos);
    std::string decoded, error;
    ASSERT_TRUE(collector::DecodeBatchBody(body, &decoded, &error)) << error;
    EXPECT_EQ(decoded, batch);
    EXPECT_EQ(decoded.front(), '[');
    EXPECT_EQ(decoded.back(), ']');
  }
}

TEST(BatchBodyTest, EncodingsFollowTheStandardForms) {
  EXPECT_EQ(Base64Encode(""), "");
  EXPECT_EQ(Base64Encode("f"), "Zg==");
  EXPECT_EQ(Base64Encode("fo"), "Zm8=");
  EXPECT_EQ(Base64Encode("foobar"), "Zm9vYmFy");
  EXPECT_EQ(Base64Encode("\xfb\xff"), "+/8=");
  EXPECT_EQ(PercentEncode("aZ09-._~"), "aZ09-._~");
  EXPECT_EQ(PercentEncode("+/= &"), "%2B%2F%3D%20%26");
  EXPECT_EQ(PercentEncode("\xc3\xa9"), "%C3%A9");

  std::string gz;
  ASSERT_TRUE(GzipCompress("hello hello hello", &gz));
  ASSERT_GE(gz.size(), 10u);
  EXPECT_EQ(static_cast<unsigned char>(gz[0]), 0x1f);  // gzip wrapper
  EXPECT_EQ(static_cast<unsigned char>(gz[1]), 0x8b);
  EXPECT_EQ(static_cast<unsigned char>(gz[8]), 2);  // XFL 2: maximum compression
}

}  // namespace
}  // namespace event_sdk
