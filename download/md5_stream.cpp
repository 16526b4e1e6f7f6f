#include "download/md5_stream.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <vector>

namespace download_internal {

Md5Stream::Md5Stream() : context_(EVP_MD_CTX_new()) { Reset(); }

Md5Stream::~Md5Stream() { EVP_MD_CTX_free(context_); }

void Md5Stream::Reset() {
  EVP_DigestInit_ex(context_, EVP_md5(), nullptr);
  bytes_ = 0;
}

void Md5Stream::Update(const void* data, size_t size) {
  EVP_DigestUpdate(context_, data, size);
  bytes_ += static_cast<int64_t>(size);
}

bool Md5Stream::ResetFromFile(const std::string& path, int64_t bytes) {
  Reset();
  if (bytes <= 0) return bytes == 0;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::vector<char> buffer(1 << 20);
  int64_t left = bytes;
  while (left > 0) {
    ssize_t got =
        read(fd, buffer.data(), static_cast<size_t>(std::min<int64_t>(left, buffer.size())));
    if (got <= 0) break;
    Update(buffer.data(), static_cast<size_t>(got));
    left -= got;
  }
  close(fd);
  if (left != 0) {
    Reset();
    return false;
  }
  return true;
}

std::string Md5Stream::Finish() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(context_, digest, &length);
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned i = 0; i < length; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 15];
  }
  Reset();
  return text;
}

}  // namespace download_internal
