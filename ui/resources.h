// Resources embedded in the executable, looked up by type name and id (the
// skin archive "ZIPRES" 147 and the window icon "ICON" 145, registered by
// skin::RegisterEmbeddedSkin in skin/embedded_skin.h).
//
// Thread-safe. Registered bytes must live for the whole process (they are
// normally static data of the executable).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace qui {

constexpr wchar_t kSkinResourceType[] = L"ZIPRES";
constexpr int kSkinResourceId = 147;
constexpr wchar_t kIconResourceType[] = L"ICON";  // PNG bytes
constexpr int kIconResourceId = 145;

// Registers (or replaces) a resource.
void RegisterResource(const std::wstring& type, int id, const void* data, size_t size);
// Removes a resource (tests).
void UnregisterResource(const std::wstring& type, int id);
// The bytes, or an empty span when no such resource exists. Type names are
// compared ignoring ASCII case.
std::span<const uint8_t> FindResource(const std::wstring& type, int id);

}  // namespace qui
