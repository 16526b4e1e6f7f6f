#include "ui/skin_archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <locale.h>

#include <cwctype>
#include <fstream>
#include <sstream>

#include "ui/resources.h"
#include "utils/log.h"
#include "utils/text.h"

namespace qui {
namespace {

// libarchive converts entry names with the thread's LC_CTYPE: a non-ASCII
// name comes back empty in the "C" locale. The reader therefore runs under a
// UTF-8 locale for this thread only.
class ScopedUtf8Locale {
 public:
  ScopedUtf8Locale() {
    utf8_ = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (utf8_ == static_cast<locale_t>(0))
      utf8_ = newlocale(LC_CTYPE_MASK, "en_US.UTF-8", static_cast<locale_t>(0));
    if (utf8_ != static_cast<locale_t>(0)) previous_ = uselocale(utf8_);
  }
  ~ScopedUtf8Locale() {
    if (utf8_ != static_cast<locale_t>(0)) {
      uselocale(previous_);
      freelocale(utf8_);
    }
  }
  ScopedUtf8Locale(const ScopedUtf8Locale&) = delete;
  ScopedUtf8Locale& operator=(const ScopedUtf8Locale&) = delete;

 private:
  locale_t utf8_ = static_cast<locale_t>(0);
  locale_t previous_ = static_cast<locale_t>(0);
};

struct ArchiveDeleter {
  void operator()(archive* a) const { archive_read_free(a); }
};

std::wstring EntryName(archive_entry* entry) {
  if (const char* utf8 = archive_entry_pathname_utf8(entry)) {
    return Utils::MultiByteToWide(utf8, Utils::kCodePageUtf8);
  }
  if (const wchar_t* wide = archive_entry_pathname_w(entry)) return wide;
  return {};
}

}  // namespace

std::wstring SkinArchive::NormalizeName(const std::wstring& path) {
  std::wstring out;
  out.reserve(path.size());
  for (wchar_t c : path) {
    if (c == L'\\') c = L'/';
    out.push_back(static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c))));
  }
  while (out.rfind(L"./", 0) == 0) out.erase(0, 2);
  while (!out.empty() && out[0] == L'/') out.erase(0, 1);
  return out;
}

std::shared_ptr<SkinArchive> SkinArchive::OpenFromMemory(const void* data, size_t size,
                                                         std::string* error) {
  auto fail = [&](const std::string& what) -> std::shared_ptr<SkinArchive> {
    if (error) *error = what;
    QLOG(L"skin archive not readable: %s\r\n", what.c_str());
    return nullptr;
  };
  if (data == nullptr || size == 0) return fail("empty archive");
  ScopedUtf8Locale locale;
  std::unique_ptr<archive, ArchiveDeleter> reader(archive_read_new());
  if (!reader) return fail("out of memory");
  archive_read_support_format_7zip(reader.get());
  archive_read_support_format_zip(reader.get());
  archive_read_support_filter_all(reader.get());
  if (archive_read_open_memory(reader.get(), data, size) != ARCHIVE_OK) {
    return fail(archive_error_string(reader.get()) ? archive_error_string(reader.get()) : "open");
  }
  std::shared_ptr<SkinArchive> result(new SkinArchive());
  for (;;) {
    archive_entry* entry = nullptr;
    int rc = archive_read_next_header(reader.get(), &entry);
    if (rc == ARCHIVE_EOF) break;
    // ARCHIVE_WARN (for instance a name that needed conversion) still
    // delivers the entry.
    if (rc != ARCHIVE_OK && rc != ARCHIVE_WARN) {
      const char* msg = archive_error_string(reader.get());
      return fail(msg ? msg : "bad entry");
    }
    if (archive_entry_filetype(entry) != AE_IFREG) continue;
    std::wstring name = EntryName(entry);
    if (name.empty()) continue;
    auto bytes = std::make_unique<std::string>();
    la_int64_t declared = archive_entry_size(entry);
    if (declared > 0) bytes->reserve(static_cast<size_t>(declared));
    char buffer[64 * 1024];
    for (;;) {
      la_ssize_t n = archive_read_data(reader.get(), buffer, sizeof(buffer));
      if (n == 0) break;
      if (n < 0) {
        if (n == ARCHIVE_WARN) continue;
        const char* msg = archive_error_string(reader.get());
        return fail(msg ? msg : "bad data");
      }
      bytes->append(buffer, static_cast<size_t>(n));
    }
    result->names_.push_back(name);
    result->files_[NormalizeName(name)] = std::move(bytes);
  }
  return result;
}

std::shared_ptr<SkinArchive> SkinArchive::OpenFile(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot open " + path;
    return nullptr;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  std::string bytes = buffer.str();
  return OpenFromMemory(bytes.data(), bytes.size(), error);
}

std::shared_ptr<SkinArchive> SkinArchive::OpenFolder(const std::string& folder) {
  std::shared_ptr<SkinArchive> result(new SkinArchive());
  result->folder_ = folder.empty() ? "." : folder;
  return result;
}

std::shared_ptr<SkinArchive> SkinArchive::FromResource(int id, std::string* error) {
  static std::mutex mutex;
  static std::map<int, std::shared_ptr<SkinArchive>> opened;
  std::span<const uint8_t> bytes = FindResource(kSkinResourceType, id);
  std::lock_guard<std::mutex> lock(mutex);
  auto it = opened.find(id);
  // A resource registered again with other bytes (tests) is opened again.
  if (it != opened.end() && it->second->source_ == bytes.data()) return it->second;
  if (bytes.empty()) {
    if (error) *error = "no ZIPRES resource " + std::to_string(id);
    return nullptr;
  }
  auto archive = OpenFromMemory(bytes.data(), bytes.size(), error);
  if (archive) {
    archive->source_ = bytes.data();
    opened[id] = archive;
  }
  return archive;
}

const std::string* SkinArchive::Find(const std::wstring& path) const {
  std::wstring key = NormalizeName(path);
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = files_.find(key);
  if (it != files_.end()) return it->second.get();
  if (folder_.empty()) return nullptr;
  // Folder: read on first use. Names on disk are matched as written ("\"
  // turned into "/"); the cache key ignores case.
  std::wstring relative = path;
  for (wchar_t& c : relative) {
    if (c == L'\\') c = L'/';
  }
  std::string file = folder_ + "/" + Utils::WideToMultiByte(relative, Utils::kCodePageUtf8);
  std::ifstream in(file, std::ios::binary);
  if (!in) return nullptr;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  auto bytes = std::make_unique<std::string>(buffer.str());
  const std::string* raw = bytes.get();
  files_[key] = std::move(bytes);
  return raw;
}

std::vector<std::wstring> SkinArchive::GetNames() const { return names_; }

size_t SkinArchive::GetCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return folder_.empty() ? files_.size() : names_.size();
}

}  // namespace qui
