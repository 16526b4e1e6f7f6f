// The installer's skin, built into the executable: the 7z archive of the six
// layouts and their images (resource "ZIPRES" 147) and the window icon (PNG,
// resource "ICON" 145).
#pragma once

#include <cstddef>

namespace skin {

// Registers both resources with ui/resources.h. Idempotent, thread-safe.
void RegisterEmbeddedSkin();
// Sizes of the embedded bytes.
size_t EmbeddedArchiveSize();
size_t EmbeddedIconSize();

}  // namespace skin
