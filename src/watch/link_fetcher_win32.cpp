#include "watch/link_fetcher_win32.h"

#include <winhttp.h>

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

void CloseInternet(HINTERNET handle) noexcept {
  WinHttpCloseHandle(handle);
}
using UniqueInternet = UniqueResource<HINTERNET, 0, CloseInternet>;

// The message's LPARAM: a status code as it is, a failure as its negated error code.
LPARAM StatusResult(DWORD status) {
  return static_cast<LPARAM>(status);
}
LPARAM ErrorResult(DWORD code) {
  return -static_cast<LPARAM>(code == 0 ? ERROR_WINHTTP_INTERNAL_ERROR : code);
}

}  // namespace

struct LinkFetcher::Job {
  LinkFetcher* owner = nullptr;
  SiteLink link = SiteLink::kQorn;
  uint32_t generation = 0;
  int32_t port = 0;
  std::wstring path;
  std::wstring hostHeader;
  HINTERNET session = nullptr;
  UniqueKernelHandle thread;
  // Under owner->handles_:
  HINTERNET request = nullptr;
  bool canceled = false;
};

LinkFetcher::LinkFetcher(HWND window, UINT message) : window_(window), message_(message) {}

LinkFetcher::~LinkFetcher() {
  CancelAll();
  if (session_ != nullptr)
    WinHttpCloseHandle(session_);
}

void LinkFetcher::Fetch(SiteLink link, const LinkRequest& request) noexcept {
  std::unique_ptr<Job>& slot = jobs_[static_cast<size_t>(link)];
  End(slot);
  try {
    auto job = std::make_unique<Job>();
    job->owner = this;
    job->link = link;
    job->generation = generation_;
    job->port = request.port;
    job->path = Utf8ToWide(request.path);
    job->hostHeader = L"Host: " + Utf8ToWide(request.host);
    slot = std::move(job);
  } catch (...) {
    return;  // out of memory: the watch learns nothing of this link again
  }
  Job& job = *slot;
  if (session_ == nullptr) {
    session_ = WinHttpOpen(L"Orvandimex", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                           WINHTTP_NO_PROXY_BYPASS, 0);
    if (session_ == nullptr) {
      Post(job, ErrorResult(GetLastError()));
      return;
    }
  }
  job.session = session_;
  job.thread.reset(CreateThread(nullptr, 0, Run, &job, 0, nullptr));
  if (!job.thread)
    Post(job, ErrorResult(GetLastError()));
}

std::optional<std::pair<SiteLink, FetchOutcome>> LinkFetcher::Take(WPARAM wParam,
                                                                   LPARAM lParam) noexcept {
  const auto link = static_cast<size_t>(wParam & 1);
  if (static_cast<uint32_t>(wParam >> 1) != generation_ || !jobs_[link])
    return std::nullopt;
  End(jobs_[link]);  // its worker posted this as its last act
  FetchOutcome outcome;
  if (lParam > 0)
    outcome = FetchOutcome{static_cast<int32_t>(lParam), FetchFailure::kNone};
  else
    outcome = FetchOutcome{std::nullopt,
                           FailureOfError(static_cast<uint32_t>(-lParam), FetchPhase::kResponse)};
  return std::make_pair(static_cast<SiteLink>(link), outcome);
}

void LinkFetcher::CancelAll() noexcept {
  {
    const std::lock_guard lock(handles_);
    for (const std::unique_ptr<Job>& job : jobs_) {
      if (!job)
        continue;
      job->canceled = true;
      // Closing a request's handle ends a send or a receive in progress on it.
      if (job->request != nullptr)
        WinHttpCloseHandle(std::exchange(job->request, nullptr));
    }
  }
  for (std::unique_ptr<Job>& job : jobs_)
    End(job);
  ++generation_;  // what was posted before is stale now
}

void LinkFetcher::Post(const Job& job, LPARAM result) const noexcept {
  const WPARAM tag = (static_cast<WPARAM>(job.generation) << 1) | static_cast<WPARAM>(job.link);
  // A window that is gone meanwhile takes no message; that is harmless.
  PostMessageW(window_, message_, tag, result);
}

void LinkFetcher::End(std::unique_ptr<Job>& job) noexcept {
  if (job && job->thread)
    WaitForSingleObject(job->thread.get(), INFINITE);
  job.reset();
}

DWORD WINAPI LinkFetcher::Run(void* parameter) noexcept {
  Job& job = *static_cast<Job*>(parameter);
  std::mutex& handles = job.owner->handles_;
  UniqueInternet connection;
  HINTERNET request = nullptr;
  {
    const std::lock_guard lock(handles);
    if (job.canceled)
      return 0;
    connection.reset(
        WinHttpConnect(job.session, L"127.0.0.1", static_cast<INTERNET_PORT>(job.port), 0));
    if (connection)
      request = WinHttpOpenRequest(connection.get(), L"GET", job.path.c_str(), nullptr,
                                   WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0);
    job.request = request;
  }
  LPARAM result = 0;
  if (request == nullptr) {
    result = ErrorResult(GetLastError());
  } else {
    // A redirect is an answer of its own (a folder's missing final slash), not followed.
    DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
    WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof(noRedirects));
    WinHttpSetTimeouts(request, kResolveMs, kConnectMs, kSendMs, kReceiveMs);
    // The wait for the response's head has a limit of its own (90 s unless set).
    DWORD responseMs = kReceiveMs;
    WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseMs,
                     sizeof(responseMs));
    // The host as the link names it; the connection goes to 127.0.0.1 all the same.
    WinHttpAddRequestHeaders(request, job.hostHeader.c_str(), static_cast<DWORD>(-1L),
                             WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                           0) &&
        WinHttpReceiveResponse(request, nullptr) &&
        WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                            WINHTTP_NO_HEADER_INDEX) &&
        status > 0) {
      result = StatusResult(status);
    } else {
      result = ErrorResult(GetLastError());
    }
  }
  {
    const std::lock_guard lock(handles);
    if (job.request != nullptr)
      WinHttpCloseHandle(std::exchange(job.request, nullptr));
    if (job.canceled)
      return 0;
  }
  connection.reset();
  job.owner->Post(job, result);
  return 0;
}

}  // namespace orv
