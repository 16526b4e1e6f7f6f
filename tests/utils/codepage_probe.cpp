// Prints how code page 0 converts in this process's locale: the bytes of
// "ä" in hexadecimal, then 1 when the byte E4 reads back as "ä" (Latin-1),
// else 0. Run by the text tests with LC_ALL / LOCPATH set.
#include <cstdio>
#include <string>

#include "utils/text.h"

// glibc keeps its copy of LOCPATH for the life of the process once a locale
// was loaded from there: not a leak of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:__argz_add_sep\n"; }

int main() {
  std::string bytes = Utils::WideToMultiByte(L"ä", Utils::kCodePageAnsi);
  for (unsigned char c : bytes) std::printf("%02x", c);
  std::printf(" %d\n", Utils::MultiByteToWide("\xE4", Utils::kCodePageAnsi) == L"ä" ? 1 : 0);
  std::fflush(stdout);
  return 0;
}
