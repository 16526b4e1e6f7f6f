// Whole-file reads and crash-safe replacement of small record files (INI
// files, the per-user store). Internal to the platform layer.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace platform {

// The file's bytes; false when it does not exist or cannot be read.
bool ReadWholeFile(const std::string& nativePath, std::string* content);

// Read-modify-write under an exclusive advisory lock (flock on the file's
// folder, so the lock survives the rename; waits at most a few seconds).
// `update` gets the current bytes (nullptr when the file is missing) and fills
// the new ones; returning false leaves the file alone. The new bytes go to a
// temporary file in the same folder, are fsync'ed and renamed over the file,
// so a crash leaves either the old or the new file, never a mix. A new file
// gets `newFileMode` (less the umask); an existing one keeps its mode.
// True when the file was replaced. The folder must exist.
using FileUpdate = std::function<bool(const std::string* current, std::string* next)>;
bool UpdateFileAtomically(const std::string& nativePath, const FileUpdate& update,
                          mode_t newFileMode = 0644);

}  // namespace platform
