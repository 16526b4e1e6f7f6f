// Build tool: assembles the demo package file from the installer program and
// the payload files.
//   quillon_pack_package --stub=PROGRAM --out=PACKAGE [--data-size=BYTES]
//                        NAME=PATH[:MODE] ...
// Every NAME=PATH pair becomes a payload entry NAME (relative, "/"-separated);
// the data file "data/quillon-words.dat" of --data-size bytes (default
// 1 MiB, deterministic) and "data/readme.txt" are generated.
#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/demo_package/demo_common.h"
#include "tools/demo_package/payload_format.h"

namespace {

struct Entry {
  std::string name;
  std::string data;
  unsigned mode;
};

la_ssize_t AppendToString(archive*, void* client, const void* buffer, size_t length) {
  static_cast<std::string*>(client)->append(static_cast<const char*>(buffer), length);
  return static_cast<la_ssize_t>(length);
}

std::string GeneratedData(size_t size) {
  // xorshift: incompressible enough that the package keeps its size.
  std::string data(size, '\0');
  uint64_t x = 0x9E3779B97F4A7C15ull;
  for (size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    data[i] = static_cast<char>(x & 0xFF);
  }
  return data;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "quillon_pack_package: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string stubPath, outPath;
  size_t dataSize = 1024 * 1024;
  std::vector<Entry> entries;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind("--stub=", 0) == 0) {
      stubPath = arg.substr(7);
    } else if (arg.rfind("--out=", 0) == 0) {
      outPath = arg.substr(6);
    } else if (arg.rfind("--data-size=", 0) == 0) {
      dataSize = std::strtoull(arg.c_str() + 12, nullptr, 10);
    } else if (size_t eq = arg.find('='); eq != std::string::npos && arg[0] != '-') {
      Entry entry{arg.substr(0, eq), {}, 0644};
      std::string path = arg.substr(eq + 1);
      if (size_t colon = path.rfind(':'); colon != std::string::npos) {
        entry.mode = static_cast<unsigned>(std::strtoul(path.c_str() + colon + 1, nullptr, 8));
        path.resize(colon);
      }
      if (!demo::ReadFileBytes(path, &entry.data)) return Fail("cannot read " + path);
      entries.push_back(std::move(entry));
    } else {
      return Fail("unknown argument " + arg);
    }
  }
  if (stubPath.empty() || outPath.empty()) return Fail("--stub and --out are required");
  entries.push_back({"data/quillon-words.dat", GeneratedData(dataSize), 0644});
  entries.push_back({"data/readme.txt", "Quillon助手 demo product data.\n", 0644});

  std::string tar;
  archive* a = archive_write_new();
  archive_write_set_format_pax_restricted(a);
  archive_write_set_bytes_in_last_block(a, 1);
  if (archive_write_open(a, &tar, nullptr, AppendToString, nullptr) != ARCHIVE_OK) {
    archive_write_free(a);
    return Fail("cannot start the archive");
  }
  for (const Entry& e : entries) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, e.name.c_str());
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, e.mode);
    archive_entry_set_size(entry, static_cast<la_int64_t>(e.data.size()));
    archive_entry_set_mtime(entry, 1700000000, 0);
    bool ok = archive_write_header(a, entry) == ARCHIVE_OK &&
              archive_write_data(a, e.data.data(), e.data.size()) ==
                  static_cast<la_ssize_t>(e.data.size());
    archive_entry_free(entry);
    if (!ok) {
      archive_write_free(a);
      return Fail("cannot add " + e.name);
    }
  }
  archive_write_close(a);
  archive_write_free(a);

  std::string package;
  if (!demo::ReadFileBytes(stubPath, &package)) return Fail("cannot read " + stubPath);
  uint64_t offset = package.size();
  package += tar;
  package += demo::MakeTrailer(offset, tar.size());
  if (!demo::WriteFileBytes(outPath, package, 0755)) return Fail("cannot write " + outPath);
  return 0;
}
