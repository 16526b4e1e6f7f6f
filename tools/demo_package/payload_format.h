// Layout of the demo package file: the installer program, then a tar archive
// with the payload, then a 24-byte trailer (payload offset and size as
// little-endian 64-bit numbers, then the 8-byte magic).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace demo {

inline constexpr char kPayloadMagic[8] = {'Q', 'P', 'K', 'G', 'D', 'E', 'M', 'O'};
inline constexpr size_t kTrailerSize = 24;

inline void PutU64(std::string* out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

inline uint64_t GetU64(const char* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
  return v;
}

inline std::string MakeTrailer(uint64_t offset, uint64_t size) {
  std::string t;
  PutU64(&t, offset);
  PutU64(&t, size);
  t.append(kPayloadMagic, sizeof kPayloadMagic);
  return t;
}

// Finds the payload inside the whole file's bytes. False when there is none.
inline bool FindPayload(const std::string& file, uint64_t* offset, uint64_t* size) {
  if (file.size() < kTrailerSize) return false;
  const char* t = file.data() + file.size() - kTrailerSize;
  if (std::memcmp(t + 16, kPayloadMagic, sizeof kPayloadMagic) != 0) return false;
  *offset = GetU64(t);
  *size = GetU64(t + 8);
  return *offset <= file.size() - kTrailerSize && *size <= file.size() - kTrailerSize - *offset;
}

}  // namespace demo
