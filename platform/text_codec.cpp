#include "platform/text_codec.h"

#include <errno.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cstring>
#include <map>
#include <utility>
#include <vector>

namespace platform {
namespace {

// iconv descriptors are not thread-safe but are costly to open; each thread
// keeps its own, reset before every use.
class IconvCache {
 public:
  ~IconvCache() {
    for (auto& entry : descriptors_) iconv_close(entry.second);
  }
  iconv_t Get(const std::string& from, const std::string& to) {
    auto key = std::make_pair(from, to);
    auto it = descriptors_.find(key);
    if (it != descriptors_.end()) {
      iconv(it->second, nullptr, nullptr, nullptr, nullptr);
      return it->second;
    }
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return cd;
    descriptors_.emplace(key, cd);
    return cd;
  }

 private:
  std::map<std::pair<std::string, std::string>, iconv_t> descriptors_;
};

// The thread's cache. It is destroyed before the process's static objects,
// whose destructors may still convert text (the analytics tracker saves its
// identity during exit); they then use a cache of their own.
struct ThreadCache {
  ~ThreadCache() { gone = true; }
  IconvCache cache;
  static thread_local bool gone;
};
thread_local bool ThreadCache::gone = false;
thread_local ThreadCache tCache;

bool Convert(const std::string& from, const std::string& to, const char* in, size_t inBytes,
             std::vector<char>* out) {
  out->clear();
  if (inBytes == 0) return true;
  IconvCache lateCache;
  iconv_t cd = (ThreadCache::gone ? lateCache : tCache.cache).Get(from, to);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out->resize(inBytes * 4 + 16);
  char* inPtr = const_cast<char*>(in);
  size_t inLeft = inBytes;
  size_t used = 0;
  for (;;) {
    char* outPtr = out->data() + used;
    size_t outLeft = out->size() - used;
    size_t rc = iconv(cd, inLeft ? &inPtr : nullptr, inLeft ? &inLeft : nullptr, &outPtr, &outLeft);
    used = static_cast<size_t>(outPtr - out->data());
    if (rc != static_cast<size_t>(-1)) {
      if (inLeft == 0) {
        // Flush any shift state.
        outPtr = out->data() + used;
        outLeft = out->size() - used;
        if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
          if (errno != E2BIG) return false;
          out->resize(out->size() * 2);
          continue;
        }
        used = static_cast<size_t>(outPtr - out->data());
        break;
      }
      continue;
    }
    if (errno == E2BIG) {
      out->resize(out->size() * 2);
      continue;
    }
    return false;  // EILSEQ, EINVAL (incomplete input)
  }
  out->resize(used);
  return true;
}

}  // namespace

std::string LocaleCharset() {
  static const std::string charset = [] {
    std::string result = "UTF-8";
    locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) return result;
    const char* codeset = nl_langinfo_l(CODESET, loc);
    if (codeset != nullptr && *codeset != '\0' && std::strcmp(codeset, "ANSI_X3.4-1968") != 0 &&
        std::strcmp(codeset, "ASCII") != 0 && std::strcmp(codeset, "US-ASCII") != 0) {
      result = codeset;
    }
    freelocale(loc);
    return result;
  }();
  return charset;
}

std::string CharsetForCodePage(unsigned codePage) {
  if (codePage == 65001) return "UTF-8";
  if (codePage == 0) return LocaleCharset();
  if (codePage == 936) return "GBK";
  return "CP" + std::to_string(codePage);
}

bool NarrowToWide(const std::string& text, const std::string& charset, std::wstring* out) {
  out->clear();
  std::vector<char> buffer;
  if (!Convert(charset, "WCHAR_T", text.data(), text.size(), &buffer)) return false;
  out->resize(buffer.size() / sizeof(wchar_t));
  if (!out->empty()) std::memcpy(out->data(), buffer.data(), out->size() * sizeof(wchar_t));
  return true;
}

bool WideToNarrow(const std::wstring& text, const std::string& charset, std::string* out) {
  out->clear();
  std::vector<char> buffer;
  if (!Convert("WCHAR_T", charset, reinterpret_cast<const char*>(text.data()),
               text.size() * sizeof(wchar_t), &buffer)) {
    return false;
  }
  out->assign(buffer.data(), buffer.size());
  return true;
}

std::wstring Utf8ToWide(const std::string& text) {
  std::wstring out;
  NarrowToWide(text, "UTF-8", &out);
  return out;
}

std::string WideToUtf8(const std::wstring& text) {
  std::string out;
  WideToNarrow(text, "UTF-8", &out);
  return out;
}

}  // namespace platform
