#include "skin/embedded_skin.h"

#include <mutex>

#include "ui/resources.h"

// Bytes placed by skin_data.cpp (generated at build time from the packed
// archive and the icon).
extern "C" const unsigned char quillon_skin_archive_begin[];
extern "C" const unsigned char quillon_skin_archive_end[];
extern "C" const unsigned char quillon_skin_icon_begin[];
extern "C" const unsigned char quillon_skin_icon_end[];

namespace skin {

size_t EmbeddedArchiveSize() {
  return static_cast<size_t>(quillon_skin_archive_end - quillon_skin_archive_begin);
}

size_t EmbeddedIconSize() {
  return static_cast<size_t>(quillon_skin_icon_end - quillon_skin_icon_begin);
}

void RegisterEmbeddedSkin() {
  static std::once_flag once;
  std::call_once(once, [] {
    qui::RegisterResource(qui::kSkinResourceType, qui::kSkinResourceId, quillon_skin_archive_begin,
                          EmbeddedArchiveSize());
    qui::RegisterResource(qui::kIconResourceType, qui::kIconResourceId, quillon_skin_icon_begin,
                          EmbeddedIconSize());
  });
}

}  // namespace skin
