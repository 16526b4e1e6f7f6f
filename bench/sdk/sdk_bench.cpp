// SDK figures: assembling and queueing one task event, encoding one batch of
// 30 (gzip, Base64, percent), and flushing 1024 queued events to the
// loopback collector. Each figure is printed with its target and beside a
// peer measured in the same run.
//
//   build/<dir>/bench/sdk/sdk_bench
#include <stdlib.h>

#include <zlib.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "sdk/batch_sender.h"
#include "sdk/sdk.h"
#include "tools/collector/collector.h"

namespace {

using Clock = std::chrono::steady_clock;

double MicrosSince(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

event_sdk::PropertiesNode GlobalProperties() {
  event_sdk::PropertiesNode g;
  g.PutString("lm_app_id", "Quillon.downloader");
  g.PutString("$app_version", "1.7.9");
  g.PutString("$app_id", "Quillon.downloader");
  g.PutString("lm_app_store", "QuillonSetup.exe");
  g.PutString("lm_edition", "china");
  g.PutString("lm_dlapp_id", "Quillon");
  g.PutString("lm_app_platform", "Linux");
  g.PutString("lm_track_type", "Client");
  g.PutString("lm_sdk_version", "3.3.8");
  g.PutString("lm_sdk", "LinuxCPP");
  g.PutString("$os", "Linux");
  g.PutString("$os_version", "debian 12");
  g.PutString("lm_l10n_locale", "zh_CN");
  g.PutString("lm_l10n_language", "zh");
  g.PutString("lm_l10n_country", "CN");
  g.PutInteger("$screen_height", 1080);
  g.PutInteger("$screen_width", 1920);
  return g;
}

void QueueTaskEvent(int i) {
  event_sdk::PropertiesNode p;
  p.PutString("lm_task_name", "大包下载完毕");
  p.PutNumber("lm_task_elapsed", 12.5 + i % 7);
  p.PutString("lm_task_result", "Success");
  p.PutBool("$is_first_time", true);
  p.PutString("lmc_ab", "IN");
  event_sdk::Sdk::TrackEvent("LmEventTask", p);
}

// The same record built and written with nlohmann::json.
std::string PeerTaskEvent(const nlohmann::json& globals, int i) {
  nlohmann::json props = globals;
  props["lm_task_name"] = "大包下载完毕";
  props["lm_task_elapsed"] = 12.5 + i % 7;
  props["lm_task_result"] = "Success";
  props["$is_first_time"] = true;
  props["lmc_ab"] = "IN";
  props["$lib"] = "cpp";
  props["$lib_version"] = "0.9";
  nlohmann::json record = {
      {"type", "track"},
      {"time", 1700000000000 + i},
      {"distinct_id", "6F9619FF-8B86-D011-B42D-00C04FC964FF"},
      {"event", "LmEventTask"},
      {"_track_id", 123456789},
      {"lib", {{"$lib", "cpp"}, {"$lib_method", "code"}, {"$lib_version", "0.9"}}},
      {"properties", props}};
  return record.dump();
}

void Report(const char* what, double value, const char* unit, double target, const char* peerName,
            double peer) {
  std::printf("%-38s %9.2f %-3s  target <= %7.2f %-3s  (%.2f of target)  %s %9.2f %s  ratio %.2f\n",
              what, value, unit, target, unit, value / target, peerName, peer, unit, value / peer);
}

}  // namespace

int main() {
  std::string home = (std::filesystem::temp_directory_path() / "quillon-bench-XXXXXX").string();
  if (mkdtemp(home.data()) == nullptr) return 1;

  collector::Collector server;
  if (!server.Start()) return 1;
  if (!event_sdk::Sdk::Init(home + "/staging.txt", server.CollectUrl(),
                            "6F9619FF-8B86-D011-B42D-00C04FC964FF", false)) {
    return 1;
  }
  event_sdk::Sdk::AddSuperProperties(GlobalProperties());

  // 1. Assemble and queue one task event.
  constexpr int kEvents = 20000;
  for (int i = 0; i < 1000; ++i) QueueTaskEvent(i);  // warm-up
  auto start = Clock::now();
  for (int i = 0; i < kEvents; ++i) QueueTaskEvent(i);
  const double perEvent = MicrosSince(start) / kEvents;

  const nlohmann::json globals = nlohmann::json::parse(GlobalProperties().ToJson());
  size_t sink = 0;
  start = Clock::now();
  for (int i = 0; i < kEvents; ++i) sink += PeerTaskEvent(globals, i).size();
  const double peerPerEvent = MicrosSince(start) / kEvents;
  Report("assemble+queue one task event", perEvent, "us", 20.0, "nlohmann build+dump",
         peerPerEvent);

  // 2. Encode one batch of 30 real records.
  std::vector<std::string> records = event_sdk::Sdk::QueuedRecordsForTesting();
  records.resize(30);
  const std::string batch = event_sdk::RecordStore::JoinBatch(records);
  constexpr int kBatches = 300;
  std::string body;
  start = Clock::now();
  for (int i = 0; i < kBatches; ++i) event_sdk::BuildBatchBody(batch, &body);
  const double perBatch = MicrosSince(start) / kBatches / 1000.0;
  start = Clock::now();
  for (int i = 0; i < kBatches; ++i) {
    uLongf size = compressBound(batch.size());
    std::vector<Bytef> out(size);
    compress2(out.data(), &size, reinterpret_cast<const Bytef*>(batch.data()), batch.size(), 9);
    sink += size;
  }
  const double peerPerBatch = MicrosSince(start) / kBatches / 1000.0;
  Report("encode one batch of 30 (gzip+b64+pct)", perBatch, "ms", 2.0, "zlib compress2 only",
         peerPerBatch);
  std::printf("%-38s %zu bytes of JSON -> %zu bytes of body\n", "  batch size", batch.size(),
              body.size());

  // 3. Flush 1024 queued events to the loopback collector.
  auto store = event_sdk::Sdk::StoreForTesting();
  while (store->QueueSizeForTesting() < event_sdk::RecordStore::kCapacity) QueueTaskEvent(0);
  start = Clock::now();
  const bool flushed = event_sdk::Sdk::FlushAll();
  const double flushMs = MicrosSince(start) / 1000.0;
  const size_t batches = server.BatchCount();
  const size_t arrived = server.Events().size();
  // Peer: one POST of a single already-encoded batch, repeated as often.
  event_sdk::BatchSender sender(server.CollectUrl());
  event_sdk::BuildBatchBody("[]", &body);
  start = Clock::now();
  for (size_t i = 0; i < batches; ++i) sender.Post(body);
  const double peerMs = MicrosSince(start) / 1000.0;
  std::printf(
      "%-38s %9.2f ms  %zu batches, %zu events arrived, %s; empty POSTs %.2f ms, ratio %.2f\n",
      "flush 1024 events to the collector", flushMs, batches, arrived,
      flushed ? "all sent" : "NOT all sent", peerMs, flushMs / peerMs);

  event_sdk::Sdk::Close();
  server.Stop();
  std::filesystem::remove_all(home);
  return sink == 0 ? 1 : 0;
}
