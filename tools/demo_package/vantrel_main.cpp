// The demo product program "Vantrel.exe". It checks that its data files sit
// beside it and prints a greeting; "--version" prints the version only and
// "--stay=SECONDS" keeps it running (a product in use).
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  int stay = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::puts("Vantrel 1.0.0");
      return 0;
    }
    if (std::strncmp(argv[i], "--stay=", 7) == 0) stay = std::atoi(argv[i] + 7);
  }
  char self[4096];
  ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return 2;
  self[n] = '\0';
  std::string dir(self);
  dir.resize(dir.rfind('/'));
  struct stat st {};
  std::string data = dir + "/data/quillon-words.dat";
  if (::stat(data.c_str(), &st) != 0) {
    std::fprintf(stderr, "Vantrel: data file missing: %s\n", data.c_str());
    return 1;
  }
  std::printf("Quillon助手 (Vantrel 1.0.0) ready in %s, %lld bytes of data\n", dir.c_str(),
              static_cast<long long>(st.st_size));
  std::fflush(stdout);
  if (stay > 0) ::sleep(static_cast<unsigned>(stay));
  return 0;
}
