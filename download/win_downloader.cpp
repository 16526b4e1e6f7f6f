#include "download/win_downloader.h"

#include <gio/gio.h>
#include <libsoup/soup.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "utils/log.h"
#include "utils/text.h"

namespace {

template <typename T>
struct GObjectUnref {
  void operator()(T* object) const {
    if (object) g_object_unref(object);
  }
};
template <typename T>
using GPtr = std::unique_ptr<T, GObjectUnref<T>>;

struct ErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

int32_t ResultOfError(const GError* error) {
  if (!error) return CWinDownloader::kResultDownloadFailure;
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
    return CWinDownloader::kResultAborted;
  }
  if (error->domain == G_TLS_ERROR) return CWinDownloader::kResultSecurityProblem;
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND)) {
    return CWinDownloader::kResultNotFound;
  }
  if (error->domain == G_RESOLVER_ERROR ||
      g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CONNECTION_REFUSED) ||
      g_error_matches(error, G_IO_ERROR, G_IO_ERROR_HOST_UNREACHABLE) ||
      g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NETWORK_UNREACHABLE)) {
    return CWinDownloader::kResultCannotConnect;
  }
  return CWinDownloader::kResultDownloadFailure;
}

}  // namespace

// ---- CBindCallback ---------------------------------------------------------

CWinDownloader::CBindCallback::~CBindCallback() { Abort(); }

void CWinDownloader::CBindCallback::SetCallback(DownloadEventCallback callback) {
  callback_ = std::move(callback);
}

void CWinDownloader::CBindCallback::Abort() {
  abort_ = true;
  std::lock_guard lock(mutex_);
  if (binding_) g_cancellable_cancel(binding_);
}

void CWinDownloader::CBindCallback::Bind(GCancellable* cancellable) {
  std::lock_guard lock(mutex_);
  binding_ = cancellable;
  if (binding_ && abort_) g_cancellable_cancel(binding_);
}

int32_t CWinDownloader::CBindCallback::OnProgress(uint64_t progress, uint64_t progressMax) {
  if (abort_) return kResultAborted;
  if (progressMax == 0) return kResultOk;
  // 64-bit counts: packages of 4 GiB and more report correct fractions.
  if (callback_) {
    callback_(DL_CODE_PROGRESS, static_cast<double>(progress) / static_cast<double>(progressMax),
              L"");
  }
  return kResultOk;
}

// ---- CWinDownloader --------------------------------------------------------

CWinDownloader::CWinDownloader(DownloadEventCallback callback, const std::wstring& url,
                               const std::wstring& destination)
    : CDownloader(std::move(callback)), destination_(destination), url_(url) {}

CWinDownloader::~CWinDownloader() {
  bindCallback_.Abort();
  threads_.StopAndJoin();
}

void CWinDownloader::Start() {
  bindCallback_.SetCallback(callback_);
  threads_.Launch([this] { WorkerProcedure(); });
}

void CWinDownloader::Emit(int32_t code, double value, const wchar_t* text) {
  if (threads_.Stopping()) return;
  Notify(code, value, text);
}

void CWinDownloader::WorkerProcedure() {
  Emit(DL_CODE_START, 1.0, L"");
  if (destination_.empty()) {
    Emit(DL_CODE_FAIL, 1.0, L"");
    return;
  }
  const bool isFile = url_.rfind(L"file:///", 0) == 0;
  const std::wstring address = isFile ? url_ : Utils::UrlEncodeWide(url_);
  const std::string narrowAddress = Utils::WideToMultiByte(address, Utils::kCodePageUtf8);
  const std::string destination = Utils::WideToMultiByte(destination_, Utils::kCodePageAnsi);

  int32_t result = kResultDownloadFailure;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    result = DownloadToFile(narrowAddress, destination);
    if (result == kResultOk) {
      Emit(DL_CODE_SUCCESS, 0.0, kMechanismSystem);
      return;
    }
    QLOG(L"URLDownloadToFile attempt %d failed: 0x%08X\r\n", attempt + 1,
         static_cast<unsigned>(result));
    if (!threads_.SleepFor(std::chrono::milliseconds(kRetryPauseMs))) return;
  }
  Emit(DL_CODE_FAIL, static_cast<double>(result), kMechanismSystem);
}

int32_t CWinDownloader::DownloadToFile(const std::string& address, const std::string& destination) {
  if (bindCallback_.Aborted()) return kResultAborted;
  GPtr<GCancellable> cancellable(g_cancellable_new());
  bindCallback_.Bind(cancellable.get());
  int32_t result = address.rfind("file:///", 0) == 0
                       ? CopyLocal(address, destination, cancellable.get())
                       : FetchHttp(address, destination, cancellable.get());
  bindCallback_.Bind(nullptr);
  if (result != kResultOk) std::remove(destination.c_str());
  return result;
}

int32_t CWinDownloader::FetchHttp(const std::string& address, const std::string& destination,
                                  GCancellable* cancellable) {
  GPtr<SoupSession> session(soup_session_new());
  // Store the body exactly as sent: no content decoding, identity asked for.
  soup_session_remove_feature_by_type(session.get(), SOUP_TYPE_CONTENT_DECODER);
  soup_session_set_timeout(session.get(), 60);
  GPtr<SoupMessage> message(soup_message_new("GET", address.c_str()));
  if (!message) return kResultInvalidUrl;
  soup_message_headers_replace(soup_message_get_request_headers(message.get()), "Accept-Encoding",
                               "identity");

  GError* rawError = nullptr;
  GPtr<GInputStream> body(soup_session_send(session.get(), message.get(), cancellable, &rawError));
  std::unique_ptr<GError, ErrorFree> error(rawError);
  if (!body) return ResultOfError(error.get());
  guint status = soup_message_get_status(message.get());
  if (status < 200 || status > 299) {
    return status == 404 || status == 410 ? kResultNotFound : kResultDownloadFailure;
  }
  goffset expected =
      soup_message_headers_get_content_length(soup_message_get_response_headers(message.get()));
  if (expected < 0) expected = 0;

  std::unique_ptr<std::FILE, FileCloser> out(std::fopen(destination.c_str(), "wb"));
  if (!out) return kResultFileError;
  std::vector<char> buffer(256 * 1024);
  uint64_t received = 0;
  for (;;) {
    GError* readError = nullptr;
    gssize got =
        g_input_stream_read(body.get(), buffer.data(), buffer.size(), cancellable, &readError);
    std::unique_ptr<GError, ErrorFree> readFailure(readError);
    if (got < 0) return ResultOfError(readFailure.get());
    if (got == 0) break;
    if (std::fwrite(buffer.data(), 1, static_cast<size_t>(got), out.get()) !=
        static_cast<size_t>(got)) {
      return kResultFileError;
    }
    received += static_cast<uint64_t>(got);
    if (bindCallback_.OnProgress(received, static_cast<uint64_t>(expected)) != kResultOk) {
      return kResultAborted;
    }
  }
  g_input_stream_close(body.get(), nullptr, nullptr);
  if (expected > 0 && received != static_cast<uint64_t>(expected)) return kResultDownloadFailure;
  if (std::fclose(out.release()) != 0) return kResultFileError;
  return kResultOk;
}

int32_t CWinDownloader::CopyLocal(const std::string& address, const std::string& destination,
                                  GCancellable* cancellable) {
  GPtr<GFile> source(g_file_new_for_uri(address.c_str()));
  GPtr<GFile> target(g_file_new_for_path(destination.c_str()));
  struct Progress {
    CBindCallback* callback;
    GCancellable* cancellable;
  } progress{&bindCallback_, cancellable};
  GError* rawError = nullptr;
  gboolean copied = g_file_copy(
      source.get(), target.get(), G_FILE_COPY_OVERWRITE, cancellable,
      [](goffset current, goffset total, gpointer data) {
        auto* state = static_cast<Progress*>(data);
        if (state->callback->OnProgress(static_cast<uint64_t>(current),
                                        static_cast<uint64_t>(total)) != kResultOk) {
          g_cancellable_cancel(state->cancellable);
        }
      },
      &progress, &rawError);
  std::unique_ptr<GError, ErrorFree> error(rawError);
  return copied ? kResultOk : ResultOfError(error.get());
}
