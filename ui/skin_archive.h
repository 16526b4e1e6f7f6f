// SkinArchive: the files of a skin, read once into memory.
//
// From an archive in memory (7z or zip, through libarchive): every file entry
// is decompressed at opening, folder entries are skipped. From a folder on
// disk: files are read on first use. Lookups convert "\" to "/" and compare
// names ignoring letter case.
//
// Thread-safe for lookups after opening.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qui {

class SkinArchive {
 public:
  // Null (and `error` filled when given) when the bytes are not a readable
  // archive or an entry cannot be decompressed.
  static std::shared_ptr<SkinArchive> OpenFromMemory(const void* data, size_t size,
                                                     std::string* error = nullptr);
  // An archive file on disk.
  static std::shared_ptr<SkinArchive> OpenFile(const std::string& path,
                                               std::string* error = nullptr);
  // A folder on disk (not read until used).
  static std::shared_ptr<SkinArchive> OpenFolder(const std::string& folder);
  // The embedded archive resource ("ZIPRES", id), opened once per process and
  // shared. Null when the resource is missing or unreadable.
  static std::shared_ptr<SkinArchive> FromResource(int id, std::string* error = nullptr);

  // The file's bytes, or null when there is no such file.
  const std::string* Find(const std::wstring& path) const;
  // Names as stored (archives only), in archive order.
  std::vector<std::wstring> GetNames() const;
  size_t GetCount() const;

  // "\" -> "/", leading "./" and "/" removed, letters folded to lower case.
  static std::wstring NormalizeName(const std::wstring& path);

 private:
  SkinArchive() = default;
  std::string folder_;  // empty for archives
  mutable std::mutex mutex_;
  mutable std::map<std::wstring, std::unique_ptr<std::string>> files_;  // normalised name -> bytes
  std::vector<std::wstring> names_;
  const void* source_ = nullptr;  // resource bytes this archive was read from
};

}  // namespace qui
