// The event collection SDK, version 0.9: the process-wide facade that checks
// names and values, merges the super properties, assembles one event record
// per call and queues it in the record store (sdk/record_store.h). Nothing is
// sent from here; uploads happen in FlushAll.
//
// Every operation except Init does nothing (and returns false) while no
// instance exists (before Init and after Close). No operation throws.
// Validation failures are reported on standard error, one line each, and
// drop the event. Any thread may call; event assembly reads a snapshot of the
// super properties and identity taken under a short lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sdk/object_node.h"
#include "sdk/record_store.h"

namespace event_sdk {

inline constexpr char kSdkVersion[] = "0.9";

class Sdk {
 public:
  // Checks the distinct id ("Distinct ID", 1 to 255 bytes); false when it is
  // refused. Creates the instance and its record store (staging file path,
  // server URL) when none exists; an existing instance stays as it is.
  static bool Init(const std::string& stagingPath, const std::string& serverUrl,
                   const std::string& distinctId, bool isLoginId);

  // A "track" event with the current distinct id.
  static bool TrackEvent(const std::string& eventName, const PropertiesNode& properties);
  // As TrackEvent, with "$ios_install_source" = "" unless the caller gives it.
  static bool TrackActivation(const std::string& eventName, const PropertiesNode& properties);
  // A "track_signup" event "$SignUp" from the current distinct id to
  // `loginId`; then `loginId` becomes the distinct id, a login id.
  static bool TrackSignUp(const std::string& loginId);
  // Replaces identity and login flag, without checks.
  static void SetIdentity(const std::string& distinctId, bool isLoginId);
  // Copies every member into the super properties, replacing same keys.
  static void AddSuperProperties(const PropertiesNode& properties);

  static bool SetProfile(const PropertiesNode& properties);
  static bool SetProfile(const std::string& key, const std::string& value);
  static bool SetProfile(const std::string& key, int32_t value);
  static bool SetProfile(const std::string& key, double value);
  static bool SetProfileOnce(const PropertiesNode& properties);
  static bool SetProfileOnce(const std::string& key, const std::string& value);
  static bool SetProfileOnce(const std::string& key, int32_t value);
  static bool SetProfileOnce(const std::string& key, double value);
  static bool IncrementProfile(const PropertiesNode& properties);
  static bool IncrementProfile(const std::string& key, int32_t value);
  // "profile_append" with a one-text list.
  static bool AppendProfile(const std::string& key, const std::string& value);

  // Uploads everything stored; true when the store ends empty.
  static bool FlushAll();
  // Saves what was not sent to the staging file and removes the instance.
  static void Close();

  // Event assembly shared by the operations above. `actionType` is one of
  // "track", "track_signup", "profile_set", "profile_set_once",
  // "profile_increment", "profile_append".
  static bool AddEvent(const std::string& actionType, const std::string& eventName,
                       const PropertiesNode& properties, const std::string& distinctId,
                       const std::string& originalId);

  static bool IsInitialized();

  // The instance's record store, or none (tests and benchmarks).
  static std::shared_ptr<RecordStore> StoreForTesting();
  // The queued records of the instance, oldest first; empty without one.
  static std::vector<std::string> QueuedRecordsForTesting();
  // The current super properties and identity (tests).
  static PropertiesNode SuperPropertiesForTesting();
  static std::string DistinctIdForTesting();
  static bool IsLoginIdForTesting();
};

// Name checks, exposed for tests; `what` names the checked text in messages.
// Identity texts: 1 to 255 bytes.
bool CheckIdentityText(const std::string& what, const std::string& value);
// Key names: 1 to 100 bytes; first a letter, "$" or "_", then letters,
// digits, "$" or "_".
bool CheckKeyName(const std::string& what, const std::string& value);

}  // namespace event_sdk
