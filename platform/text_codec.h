// Charset conversions over iconv. Internal to the platform layer and utils:
// everything above calls Utils::MultiByteToWide / Utils::WideToMultiByte.
// Conversions are strict: an invalid or incomplete sequence, or a charset
// iconv does not know, fails the whole conversion. Thread-safe.
#pragma once

#include <string>

namespace platform {

// The environment's charset (nl_langinfo(CODESET) of the locale named by
// LC_ALL / LC_CTYPE / LANG), "UTF-8" when that is plain ASCII or the locale
// is not installed. The process's global locale is left untouched.
std::string LocaleCharset();

// iconv name for a Windows code page: 65001 "UTF-8", 0 LocaleCharset(),
// 936 "GBK", any other n "CP<n>".
std::string CharsetForCodePage(unsigned codePage);

// False (and *out cleared) when the conversion fails.
bool NarrowToWide(const std::string& text, const std::string& charset, std::wstring* out);
bool WideToNarrow(const std::wstring& text, const std::string& charset, std::string* out);

// UTF-8 shorthands; the empty text on failure.
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

}  // namespace platform
