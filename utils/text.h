// Text helpers: code-page conversions, trimming, percent-encoding, URL pieces.
// Pure functions, safe from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace Utils {

// Code pages: 65001 is UTF-8; 0 is the locale's charset (nl_langinfo(CODESET)
// after setlocale(LC_ALL, ""), UTF-8 when that is plain ASCII); any other n is
// "CP<n>" for iconv (936 is GBK). A failed conversion gives the empty text.
constexpr unsigned kCodePageUtf8 = 65001;
constexpr unsigned kCodePageAnsi = 0;
std::wstring MultiByteToWide(const std::string& text, unsigned codePage);
std::string WideToMultiByte(const std::wstring& text, unsigned codePage);

// Copies without leading / trailing / both white space (" \t\n\v\f\r").
std::wstring TrimLeft(const std::wstring& text);
std::wstring TrimRight(const std::wstring& text);
std::wstring Trim(const std::wstring& text);

// Bytes 33..126 unchanged, blank to "+", every other byte to "%XX" (upper case).
std::string UrlEncode(const std::string& bytes);
// UTF-16 -> UTF-8 -> UrlEncode -> UTF-16.
std::wstring UrlEncodeWide(const std::wstring& text);

std::wstring ReplaceAll(const std::wstring& text, const std::wstring& pattern,
                        const std::wstring& replacement);

std::wstring ToDecimalText(uint32_t value);

// The path segment between the last two '/' of a URL; empty when there are
// fewer than two. For ".../packages/<md5>/name.exe" this is the expected MD5.
std::string GetUrlParentSegment(const std::string& url);

}  // namespace Utils
