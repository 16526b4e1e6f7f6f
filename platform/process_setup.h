// Process-wide start-up steps that have a counterpart on other systems but
// need no work here, kept as named steps so the start-up order reads whole.
#pragma once

namespace platform {

// The DLL search-path hardening step. The Linux loader never searches the
// current folder for libraries (only DT_RUNPATH, LD_LIBRARY_PATH and the
// system folders), so there is nothing to do.
inline void HardenLibrarySearchPath() {}

}  // namespace platform
