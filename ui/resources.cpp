#include "ui/resources.h"

#include <map>
#include <mutex>
#include <utility>

namespace qui {
namespace {

std::wstring FoldAscii(const std::wstring& text) {
  std::wstring out = text;
  for (wchar_t& c : out) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return out;
}

struct Registry {
  std::mutex mutex;
  std::map<std::pair<std::wstring, int>, std::span<const uint8_t>> entries;
};

Registry& GetRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

void RegisterResource(const std::wstring& type, int id, const void* data, size_t size) {
  Registry& r = GetRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.entries[{FoldAscii(type), id}] =
      std::span<const uint8_t>(static_cast<const uint8_t*>(data), size);
}

void UnregisterResource(const std::wstring& type, int id) {
  Registry& r = GetRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.entries.erase({FoldAscii(type), id});
}

std::span<const uint8_t> FindResource(const std::wstring& type, int id) {
  Registry& r = GetRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.entries.find({FoldAscii(type), id});
  if (it == r.entries.end()) return {};
  return it->second;
}

}  // namespace qui
