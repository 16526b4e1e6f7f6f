#include "sdk/sdk.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <mutex>

namespace event_sdk {

namespace {

constexpr size_t kMaxIdentityBytes = 255;
constexpr size_t kMaxKeyBytes = 100;

// The facade's state. The super properties are replaced, never changed in
// place, so an assembly can keep reading its snapshot without a lock.
struct Instance {
  std::shared_ptr<const PropertiesNode> superProperties;
  std::string distinctId;
  bool isLoginId = false;
  std::shared_ptr<RecordStore> store;
};

struct Slot {
  std::mutex mutex;
  std::shared_ptr<Instance> instance;  // guarded by mutex
};

// Function-level static: whoever needs the slot during process exit (the
// tracker's holder) touches it first, so it is destroyed after them.
Slot& GetSlot() {
  static Slot slot;
  return slot;
}

struct Snapshot {
  std::shared_ptr<const PropertiesNode> superProperties;
  std::string distinctId;
  bool isLoginId = false;
  std::shared_ptr<RecordStore> store;
};

bool TakeSnapshot(Snapshot* out) {
  Slot& slot = GetSlot();
  std::lock_guard<std::mutex> lock(slot.mutex);
  if (!slot.instance) return false;
  out->superProperties = slot.instance->superProperties;
  out->distinctId = slot.instance->distinctId;
  out->isLoginId = slot.instance->isLoginId;
  out->store = slot.instance->store;
  return true;
}

int64_t NowMillis() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool IsLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// Up to nine digits: two random, three random, the last four of the clock.
int64_t MakeTrackId() {
  const int a = (std::rand() % 99 + 100) % 100;
  const int b = (std::rand() % 999 + 1000) % 1000;
  const int c = static_cast<int>(NowMillis() % 10000);
  return static_cast<int64_t>(a) * 10000000 + static_cast<int64_t>(b) * 10000 + c;
}

bool ContainsTrack(const std::string& actionType) {
  return actionType.find("track") != std::string::npos;
}

// A profile action with one property built by `put`.
template <typename PutValue>
bool ProfileOne(const char* action, PutValue put) {
  Snapshot snap;
  if (!TakeSnapshot(&snap)) return false;
  PropertiesNode node;
  put(&node);
  return Sdk::AddEvent(action, std::string(), node, snap.distinctId, std::string());
}

}  // namespace

bool CheckIdentityText(const std::string& what, const std::string& value) {
  if (value.empty()) {
    std::cerr << "The " << what << " is empty." << std::endl;
    return false;
  }
  if (value.size() > kMaxIdentityBytes) {
    std::cerr << "The " << what << " is too long, max length is 255." << std::endl;
    return false;
  }
  return true;
}

bool CheckKeyName(const std::string& what, const std::string& value) {
  if (value.empty() || value.size() > kMaxKeyBytes) {
    std::cerr << "The " << what << " is empty or too long, max length is 100" << std::endl;
    return false;
  }
  for (size_t i = 0; i < value.size(); ++i) {
    const auto c = static_cast<unsigned char>(value[i]);
    const bool ok = IsLetter(c) || c == '$' || c == '_' || (i > 0 && IsDigit(c));
    if (!ok) {
      std::cerr << "The " << what << " need to be a valid variable name." << std::endl;
      return false;
    }
  }
  return true;
}

bool Sdk::Init(const std::string& stagingPath, const std::string& serverUrl,
               const std::string& distinctId, bool isLoginId) {
  if (!CheckIdentityText("Distinct ID", distinctId)) return false;
  Slot& slot = GetSlot();
  std::lock_guard<std::mutex> lock(slot.mutex);
  if (slot.instance) return true;
  auto instance = std::make_shared<Instance>();
  auto super = std::make_shared<PropertiesNode>();
  super->PutString("$lib", "cpp");
  super->PutString("$lib_version", kSdkVersion);
  instance->superProperties = std::move(super);
  instance->distinctId = distinctId;
  instance->isLoginId = isLoginId;
  instance->store = std::make_shared<RecordStore>(stagingPath, serverUrl);
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  slot.instance = std::move(instance);
  return true;
}

bool Sdk::IsInitialized() {
  Slot& slot = GetSlot();
  std::lock_guard<std::mutex> lock(slot.mutex);
  return slot.instance != nullptr;
}

bool Sdk::AddEvent(const std::string& actionType, const std::string& eventName,
                   const PropertiesNode& properties, const std::string& distinctId,
                   const std::string& originalId) {
  Snapshot snap;
  if (!TakeSnapshot(&snap)) return false;

  for (const auto& [key, value] : properties.Members()) {
    if (!CheckKeyName("Property Key", key)) return false;
    if (key == "$time" && value.kind != utils::NodeValue::Kind::kDateTime) {
      std::cerr << "The property '$time' should be DateTime type." << std::endl;
      return false;
    }
    if (key == "$project" && value.kind != utils::NodeValue::Kind::kString) {
      std::cerr << "The property '$project' should be String type." << std::endl;
      return false;
    }
  }
  const bool isTrack = actionType == "track";
  const bool isSignUp = actionType == "track_signup";
  if (isTrack && !CheckKeyName("Event Name", eventName)) return false;
  if (isSignUp && !CheckIdentityText("Original ID", originalId)) return false;

  PropertiesNode merged;
  if (ContainsTrack(actionType) && snap.superProperties) merged = *snap.superProperties;
  merged.MergeFrom(properties);

  int64_t time = 0;
  if (const utils::NodeValue* t = merged.Find("$time")) {
    time = t->integer * 1000 + t->millis;
    merged.Remove("$time");
  } else {
    time = NowMillis();
  }
  std::string project;
  if (const utils::NodeValue* p = merged.Find("$project")) {
    project = p->text;
    merged.Remove("$project");
  }
  if (snap.isLoginId) merged.PutBool("$is_login_id", true);

  utils::ObjectNode lib;
  lib.PutString("$lib", "cpp");
  lib.PutString("$lib_version", kSdkVersion);
  lib.PutString("$lib_method", "code");

  utils::ObjectNode record;
  record.PutString("type", actionType);
  record.PutInteger("time", time);
  record.PutString("distinct_id", distinctId);
  record.PutObject("properties", merged);
  record.PutObject("lib", lib);
  record.PutInteger("_track_id", MakeTrackId());
  if (!project.empty()) record.PutString("project", project);
  if (isTrack || isSignUp) record.PutString("event", eventName);
  if (isSignUp) record.PutString("original_id", originalId);

  snap.store->Add(record);
  return true;
}

bool Sdk::TrackEvent(const std::string& eventName, const PropertiesNode& properties) {
  Snapshot snap;
  if (!TakeSnapshot(&snap)) return false;
  return AddEvent("track", eventName, properties, snap.distinctId, std::string());
}

bool Sdk::TrackActivation(const std::string& eventName, const PropertiesNode& properties) {
  if (!IsInitialized()) return false;
  PropertiesNode node;
  node.PutString("$ios_install_source", "");
  node.MergeFrom(properties);
  return TrackEvent(eventName, node);
}

bool Sdk::TrackSignUp(const std::string& loginId) {
  Snapshot snap;
  if (!TakeSnapshot(&snap)) return false;
  const bool added =
      AddEvent("track_signup", "$SignUp", PropertiesNode(), loginId, snap.distinctId);
  SetIdentity(loginId, true);
  return added;
}

void Sdk::SetIdentity(const std::string& distinctId, bool isLoginId) {
  Slot& slot = GetSlot();
  std::lock_guard<std::mutex> lock(slot.mutex);
  if (!slot.instance) return;
  slot.instance->distinctId = distinctId;
  slot.instance->isLoginId = isLoginId;
}

void Sdk::AddSuperProperties(const PropertiesNode& properties) {
  Slot& slot = GetSlot();
  std::lock_guard<std::mutex> lock(slot.mutex);
  if (!slot.instance) return;
  auto next = std::make_shared<PropertiesNode>(*slot.instance->superProperties);
  next->MergeFrom(properties);
  slot.instance->superProperties = std::move(next);
}

bool Sdk::SetProfile(const PropertiesNode& properties) {
  Snapshot snap;
  if (!TakeSnapshot(&snap)) return false;
  return AddEvent("profile_set", std::string(), properties, snap.distinctId, std::string());
}

bool Sdk::SetProfile(const std::string& key, const std::string& value) {
  return ProfileOne("profile_set", [&](PropertiesNode* n) { n->PutString(key, value); });
}

bool Sdk::SetProfile(const std::string& key, int32_t value) {
  return ProfileOne("profile_set", [&](PropertiesNode* n) { n->PutInteger(key, value); });
}

bool Sdk::SetProfile(const std::string& key, double value) {
  return ProfileOne("profile_set", [&](PropertiesNode* n) { n->PutNumber(key, value); });
}

bool Sdk::SetProfileOnce(const PropertiesNode& properties) {
  Snapshot snap;
  if (!TakeSnapshot(&snap)) return false;
  return AddEvent("profile_set_once", std::string(), properties, snap.distinctId, std::string());
}

bool Sdk::SetProfileOnce(const std::string& key, const std::string& value) {
  return ProfileOne("profile_set_once", [&](PropertiesNode* n) { n->PutString(key, value); });
}

bool Sdk::SetProfileOnce(const std::string& key, int32_t value) {
  return ProfileOne("profile_set_once", [&](PropertiesNode* n) { n->PutInteger(key, value); });
}

bool Sdk::SetProfileOnce(const std::string& key, double value) {
  return ProfileOne("profile_set_once", [&](PropertiesNode* n) { n->PutNumber(key, value); });
}

bool Sdk::IncrementProfile(const PropertiesNode& properties) {
  Snapshot snap;
  if (!TakeSnapshot(&snap)) return false;
  return AddEvent("profile_increment", std::string(), properties, snap.distinctId, std::string());
}

bool Sdk::IncrementProfile(const std::string& key, int32_t value) {
  return ProfileOne("profile_increment", [&](PropertiesNode* n) { n->PutInteger(key, value); });
}

bool Sdk::AppendProfile(const std::string& key, const std::string& value) {
  return ProfileOne("profile_append",
                    [&](PropertiesNode* n) { n->PutList(key, std::vector<std::string>{value}); });
}

bool Sdk::FlushAll() {
  Snapshot snap;
  if (!TakeSnapshot(&snap)) return false;
  return snap.store->FlushAll();
}

void Sdk::Close() {
  std::shared_ptr<Instance> instance;
  {
    Slot& slot = GetSlot();
    std::lock_guard<std::mutex> lock(slot.mutex);
    instance = std::move(slot.instance);
    slot.instance.reset();
  }
  // Outside the slot lock: closing waits for a batch in flight.
  if (instance) instance->store->Close();
}

std::shared_ptr<RecordStore> Sdk::StoreForTesting() {
  Snapshot snap;
  if (!TakeSnapshot(&snap)) return nullptr;
  return snap.store;
}

std::vector<std::string> Sdk::QueuedRecordsForTesting() {
  auto store = StoreForTesting();
  return store ? store->QueuedRecordsForTesting() : std::vector<std::string>();
}

PropertiesNode Sdk::SuperPropertiesForTesting() {
  Snapshot snap;
  if (!TakeSnapshot(&snap) || !snap.superProperties) return PropertiesNode();
  return *snap.superProperties;
}

std::string Sdk::DistinctIdForTesting() {
  Snapshot snap;
  return TakeSnapshot(&snap) ? snap.distinctId : std::string();
}

bool Sdk::IsLoginIdForTesting() {
  Snapshot snap;
  return TakeSnapshot(&snap) && snap.isLoginId;
}

}  // namespace event_sdk
