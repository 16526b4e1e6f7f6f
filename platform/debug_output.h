// The debug-output sink: one write(2) per record to standard error, unless a
// hook is installed (tests capture records with it). Thread-safe.
#pragma once

#include <functional>
#include <string>

namespace platform {

// Delivers one record (UTF-8) in a single write.
void WriteDebugOutput(const std::string& record);

// Replaces the sink process-wide; an empty function restores standard error.
// The hook may be called from any thread.
using DebugOutputHook = std::function<void(const std::string& record)>;
void SetDebugOutputHook(DebugOutputHook hook);

}  // namespace platform
