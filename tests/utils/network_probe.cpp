// Prints Utils::CheckNetwork() in decimal; run by the network test inside a
// separate network namespace.
#include <cstdio>

#include "utils/system.h"

int main() {
  std::printf("%u\n", Utils::CheckNetwork());
  return 0;
}
