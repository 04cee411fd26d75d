#include "watch/link_fetcher_win32.h"

#include <winhttp.h>

#include <mutex>
#include <new>
#include <string>

#include "platform/text_win32.h"
#include "platform/unique_handle_win32.h"

namespace orv {
namespace {

// A loopback server answers at once; a web server whose worker hangs would hold a request
// forever. Timeouts are set on each request (Wine applies none set on the session).
constexpr int kResolveMs = 2000;
constexpr int kConnectMs = 3000;
constexpr int kSendMs = 5000;
constexpr int kReceiveMs = 5000;

// What the callback hears of: the steps of a request, its failure, and its handle's end.
constexpr DWORD kNotifications =
    WINHTTP_CALLBACK_FLAG_SENDREQUEST_COMPLETE | WINHTTP_CALLBACK_FLAG_HEADERS_AVAILABLE |
    WINHTTP_CALLBACK_FLAG_REQUEST_ERROR | WINHTTP_CALLBACK_FLAG_HANDLES;

void CloseInternet(HINTERNET handle) noexcept {
  WinHttpCloseHandle(handle);
}
using UniqueInternet = UniqueResource<HINTERNET, 0, CloseInternet>;

FetchOutcome FailedWith(DWORD code, FetchPhase phase) {
  return FetchOutcome{std::nullopt,
                      FailureOfError(code == 0 ? ERROR_WINHTTP_INTERNAL_ERROR : code, phase)};
}

}  // namespace

// One request, shared by the fetcher (until its outcome is taken or it is cancelled) and by
// WinHTTP's callbacks: the request handle's context owns a reference, released when WinHTTP
// reports the handle closing, after which no callback of it comes.
struct LinkFetcher::Request {
  HWND window = nullptr;
  UINT message = 0;
  WPARAM tag = 0;  // the serial number and the link, as posted
  // The request's parent, closed after the request's handle is gone.
  UniqueInternet connection;
  // Guards `handle` and `outcome`. Recursive: WinHTTP may call back on a thread that is inside
  // one of its functions called under the lock.
  std::recursive_mutex lock;
  // The request handle while the request runs. Whoever takes it out under the lock (a cancel, or
  // the end of the request) closes it; a callback calls WinHTTP with it only under the lock while
  // it is still here, so nothing uses it once it is closed.
  HINTERNET handle = nullptr;
  std::optional<FetchOutcome> outcome;

  // Ends the request with its outcome and tells the window; nothing if it has ended already.
  void Finish(const FetchOutcome& result) noexcept {
    HINTERNET closing = nullptr;
    {
      const std::lock_guard hold(lock);
      if (handle == nullptr)
        return;
      closing = std::exchange(handle, nullptr);
      outcome = result;
    }
    Post();
    WinHttpCloseHandle(closing);
  }
  void Post() const noexcept {
    // A window that is gone meanwhile takes no message; that is harmless.
    PostMessageW(window, message, tag, 0);
  }
};

LinkFetcher::LinkFetcher(HWND window, UINT message) : window_(window), message_(message) {}

LinkFetcher::~LinkFetcher() {
  CancelAll();
  // Requests still being torn down keep what they need of the session themselves.
  if (session_ != nullptr)
    WinHttpCloseHandle(session_);
}

void LinkFetcher::Fetch(SiteLink link, const LinkRequest& request) noexcept {
  std::shared_ptr<Request>& slot = requests_[static_cast<size_t>(link)];
  Cancel(slot);
  try {
    slot = std::make_shared<Request>();
  } catch (...) {
    return;  // out of memory: the watch learns nothing of this link again
  }
  slot->window = window_;
  slot->message = message_;
  slot->tag = (static_cast<WPARAM>(++serial_) << 1) | static_cast<WPARAM>(link);
  Start(slot, request);
}

void LinkFetcher::Start(const std::shared_ptr<Request>& job, const LinkRequest& link) noexcept {
  const auto fail = [&job](DWORD code) {
    job->outcome = FailedWith(code, FetchPhase::kSend);
    job->Post();
  };
  std::wstring path;
  std::wstring hostHeader;
  try {
    path = Utf8ToWide(link.path);
    hostHeader = L"Host: " + Utf8ToWide(link.host);
  } catch (...) {
    return fail(ERROR_NOT_ENOUGH_MEMORY);
  }
  if (session_ == nullptr) {
    session_ = WinHttpOpen(L"Orvandimex", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                           WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
    if (session_ == nullptr)
      return fail(GetLastError());
  }
  job->connection.reset(
      WinHttpConnect(session_, L"127.0.0.1", static_cast<INTERNET_PORT>(link.port), 0));
  if (!job->connection)
    return fail(GetLastError());
  UniqueInternet request(WinHttpOpenRequest(job->connection.get(), L"GET", path.c_str(), nullptr,
                                            WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
  // A redirect is an answer of its own (a folder's missing final slash), not followed.
  DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
  // The wait for the response's head has a limit of its own (90 s unless set).
  DWORD responseMs = kReceiveMs;
  if (!request ||
      !WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects,
                        sizeof(noRedirects)) ||
      !WinHttpSetTimeouts(request.get(), kResolveMs, kConnectMs, kSendMs, kReceiveMs) ||
      !WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseMs,
                        sizeof(responseMs)) ||
      // The host as the link names it; the connection goes to 127.0.0.1 all the same.
      !WinHttpAddRequestHeaders(request.get(), hostHeader.c_str(), static_cast<DWORD>(-1L),
                                WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE) ||
      WinHttpSetStatusCallback(request.get(), OnStatus, kNotifications, 0) ==
          WINHTTP_INVALID_STATUS_CALLBACK)
    return fail(GetLastError());
  auto* context = new (std::nothrow) std::shared_ptr<Request>(job);
  if (context == nullptr)
    return fail(ERROR_NOT_ENOUGH_MEMORY);
  auto contextValue = reinterpret_cast<DWORD_PTR>(context);
  if (!WinHttpSetOption(request.get(), WINHTTP_OPTION_CONTEXT_VALUE, &contextValue,
                        sizeof(contextValue))) {
    const DWORD code = GetLastError();
    delete context;
    return fail(code);
  }
  // From here the handle's end frees the context, and whoever ends the request closes the handle.
  job->handle = request.release();
  bool sent = false;
  DWORD code = 0;
  {
    // Held so that no callback acts on the request before its sending has returned.
    const std::lock_guard hold(job->lock);
    sent = WinHttpSendRequest(job->handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                              WINHTTP_NO_REQUEST_DATA, 0, 0, contextValue);
    if (!sent)
      code = GetLastError();
  }
  if (!sent)
    job->Finish(FailedWith(code, FetchPhase::kSend));
}

void CALLBACK LinkFetcher::OnStatus(void*, DWORD_PTR context, DWORD status, void* information,
                                    DWORD) noexcept {
  if (context == 0)
    return;
  auto* owner = reinterpret_cast<std::shared_ptr<Request>*>(context);
  if (status == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) {
    delete owner;  // the last callback of the handle
    return;
  }
  const std::shared_ptr<Request> job = *owner;  // alive for this call, whatever ends meanwhile
  std::optional<FetchOutcome> result;
  switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE: {
      const std::lock_guard hold(job->lock);
      if (job->handle != nullptr && !WinHttpReceiveResponse(job->handle, nullptr))
        result = FailedWith(GetLastError(), FetchPhase::kResponse);
      break;
    }
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE: {
      const std::lock_guard hold(job->lock);
      if (job->handle == nullptr)
        break;
      DWORD code = 0;
      DWORD size = sizeof(code);
      if (WinHttpQueryHeaders(job->handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                              WINHTTP_HEADER_NAME_BY_INDEX, &code, &size,
                              WINHTTP_NO_HEADER_INDEX) &&
          code > 0)
        result = FetchOutcome{static_cast<int32_t>(code), FetchFailure::kNone};
      else
        result = FailedWith(GetLastError(), FetchPhase::kResponse);
      break;
    }
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR: {
      // A timeout while connecting or sending is told apart from one while waiting for the
      // response: only the latter is a server that accepts and never answers.
      const auto* error = static_cast<const WINHTTP_ASYNC_RESULT*>(information);
      result =
          FailedWith(error->dwError, error->dwResult == API_SEND_REQUEST ? FetchPhase::kSend
                                                                         : FetchPhase::kResponse);
      break;
    }
    default:
      break;
  }
  if (result)
    job->Finish(*result);
}

std::optional<std::pair<SiteLink, FetchOutcome>> LinkFetcher::Take(WPARAM wParam, LPARAM) noexcept {
  const auto link = static_cast<size_t>(wParam & 1);
  std::shared_ptr<Request> job = requests_[link];
  if (!job || job->tag != wParam)
    return std::nullopt;  // of a request cancelled or replaced since
  requests_[link].reset();
  std::optional<FetchOutcome> outcome;
  {
    const std::lock_guard hold(job->lock);
    outcome = job->outcome;
  }
  if (!outcome)
    return std::nullopt;
  return std::make_pair(static_cast<SiteLink>(link), *outcome);
}

void LinkFetcher::CancelAll() noexcept {
  for (std::shared_ptr<Request>& request : requests_)
    Cancel(request);
}

void LinkFetcher::Cancel(std::shared_ptr<Request>& request) noexcept {
  if (!request)
    return;
  HINTERNET closing = nullptr;
  {
    const std::lock_guard hold(request->lock);
    closing = std::exchange(request->handle, nullptr);
  }
  // Closing the handle ends a send or a wait in progress; its callbacks may still come, and
  // find the request ended.
  if (closing != nullptr)
    WinHttpCloseHandle(closing);
  request.reset();
}

}  // namespace orv
