#include "probe/probe_sockets_win32.h"

#include <cstring>
#include <utility>

#include "platform/failure.h"
#include "platform/system_error_win32.h"
#include "platform/text_win32.h"
#include "probe/tcp_connect_win32.h"

namespace orv {
namespace {

constexpr int16_t kNoOwner = -1;
constexpr int16_t kSpareOwner = -2;  // the number of the spare socket: no element's yet

std::string ElementName(int16_t index) {
  return "探测套接字 " + std::to_string(index);
}

}  // namespace

WinsockProbeSockets::WinsockProbeSockets(HWND window, UINT firstMessage, UINT messageCount)
    : window_(window),
      firstMessage_(firstMessage),
      messageCount_(messageCount),
      messageOwners_(messageCount, kNoOwner) {
  if (messageCount == 0)
    throw Failure("探测套接字没有可用的窗口消息。");
}

WinsockProbeSockets::~WinsockProbeSockets() {
  CloseAll();
}

bool WinsockProbeSockets::Exists(int16_t index) const {
  return elements_.count(index) != 0;
}

void WinsockProbeSockets::Create(int16_t index) {
  if (Exists(index))
    throw Failure(ElementName(index) + "已存在，不能再次创建。");
  if (!session_)
    session_.emplace();
  elements_.emplace(index, Element{});
}

WinsockProbeSockets::Element& WinsockProbeSockets::At(int16_t index) {
  const auto found = elements_.find(index);
  if (found == elements_.end())
    throw Failure(ElementName(index) + "不存在。");
  return found->second;
}

void WinsockProbeSockets::Connect(int16_t index, const std::string& host, int32_t port) {
  Element& element = At(index);
  element.address = {};
  element.addressLength = 0;
  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  ADDRINFOW* found = nullptr;
  if (GetAddrInfoW(Utf8ToWide(host).c_str(), nullptr, &hints, &found) == 0 && found != nullptr) {
    if (found->ai_addrlen <= sizeof(element.address)) {
      std::memcpy(&element.address, found->ai_addr, found->ai_addrlen);
      element.addressLength = static_cast<int>(found->ai_addrlen);
    }
    FreeAddrInfoW(found);
  }
  StartConnect(index, element, port);
}

void WinsockProbeSockets::Reconnect(int16_t index, int32_t port) {
  StartConnect(index, At(index), port);
}

void WinsockProbeSockets::StartConnect(int16_t index, Element& element, int32_t port) {
  if (port < 1 || port > 65535)
    throw Failure(ElementName(index) + "不能连接端口 " + std::to_string(port) + "。");
  ReleaseMessageNumber(element);
  // The element's last socket is closed once the new connect is under way: its report, if one is
  // still queued, is stale either way, since its message number is given back here.
  UniqueSocket previous = std::move(element.socket);
  element.port = port;

  if (element.addressLength == 0) {
    element.message = TakeMessageNumber(index);
    PostFailure(element, WSAHOST_NOT_FOUND);
    return;
  }
  const int family = element.address.ss_family;
  if (family == AF_INET6) {
    reinterpret_cast<sockaddr_in6*>(&element.address)->sin6_port =
        htons(static_cast<u_short>(port));
  } else {
    reinterpret_cast<sockaddr_in*>(&element.address)->sin_port = htons(static_cast<u_short>(port));
  }
  const auto* address = reinterpret_cast<const sockaddr*>(&element.address);

  ConnectStart start;
  if (spare_.socket && spare_.family == family) {
    element.message = std::exchange(spare_.message, 0);
    messageOwners_[element.message - firstMessage_] = index;
    start = StartTcpConnect(std::move(spare_.socket), address, element.addressLength, true);
  } else {
    DropSpare();  // of another family: its message number may be needed now
    element.message = TakeMessageNumber(index);
    start = StartTcpConnect(address, element.addressLength, {window_, element.message},
                            initialRtoSupported_);
  }
  element.socket = std::move(start.socket);
  previous.reset();
  switch (start.stage) {
    case ConnectStage::kNoSocket:
      ReleaseMessageNumber(element);
      throw ErrorFailure("创建", ElementName(index), static_cast<DWORD>(start.error));
    case ConnectStage::kNoNotice:
      ReleaseMessageNumber(element);
      throw ErrorFailure("设置", ElementName(index), static_cast<DWORD>(start.error));
    case ConnectStage::kRefused:
      PostFailure(element, start.error);
      break;
    case ConnectStage::kPending:
    case ConnectStage::kConnected:
      // A connect that completes at once is still reported through FD_CONNECT.
      break;
  }
  PrepareSpare(family);
}

void WinsockProbeSockets::PrepareSpare(int family) noexcept {
  if (spare_.socket && spare_.family == family)
    return;
  DropSpare();
  const std::optional<UINT> message = FreeMessageNumber(kSpareOwner);
  if (!message)
    return;
  ConnectStart made = PrepareTcpSocket(family, {window_, *message}, initialRtoSupported_);
  if (!made.socket) {
    messageOwners_[*message - firstMessage_] = kNoOwner;
    return;
  }
  spare_ = Spare{std::move(made.socket), family, *message};
}

void WinsockProbeSockets::DropSpare() noexcept {
  if (spare_.message != 0)
    messageOwners_[spare_.message - firstMessage_] = kNoOwner;
  spare_ = Spare{};
}

void WinsockProbeSockets::PostFailure(const Element& element, int error) noexcept {
  PostMessageW(window_, element.message, static_cast<WPARAM>(element.socket.get()),
               WSAMAKESELECTREPLY(FD_CONNECT, error));
}

std::optional<UINT> WinsockProbeSockets::FreeMessageNumber(int16_t owner) noexcept {
  for (UINT tried = 0; tried < messageCount_; ++tried) {
    const UINT offset = (nextMessage_ + tried) % messageCount_;
    if (messageOwners_[offset] == kNoOwner) {
      messageOwners_[offset] = owner;
      nextMessage_ = (offset + 1) % messageCount_;
      return firstMessage_ + offset;
    }
  }
  return std::nullopt;
}

UINT WinsockProbeSockets::TakeMessageNumber(int16_t index) {
  if (const std::optional<UINT> message = FreeMessageNumber(index))
    return *message;
  throw Failure("同时进行的端口探测过多（最多 " + std::to_string(messageCount_) + " 个），" +
                ElementName(index) + "未能连接。");
}

void WinsockProbeSockets::ReleaseMessageNumber(Element& element) noexcept {
  if (element.message != 0)
    messageOwners_[element.message - firstMessage_] = kNoOwner;
  element.message = 0;
}

void WinsockProbeSockets::Close(int16_t index) {
  const auto found = elements_.find(index);
  if (found == elements_.end())
    return;
  ReleaseMessageNumber(found->second);
  found->second.socket.reset();
}

void WinsockProbeSockets::Remove(int16_t index) {
  Close(index);
  elements_.erase(index);
  if (elements_.empty())
    DropSpare();  // the probe is over: no socket is kept for it
}

int32_t WinsockProbeSockets::RemotePort(int16_t index) const {
  const auto found = elements_.find(index);
  return found == elements_.end() ? 0 : found->second.port;
}

bool WinsockProbeSockets::CanListenOn(int32_t port) {
  return PortCanBeBoundExclusively(port);
}

std::optional<SocketEvent> WinsockProbeSockets::TakeEvent(UINT message, WPARAM wParam,
                                                          LPARAM lParam) noexcept {
  if (message < firstMessage_ || message - firstMessage_ >= messageCount_)
    return std::nullopt;
  const int16_t owner = messageOwners_[message - firstMessage_];
  if (owner == kNoOwner)
    return std::nullopt;
  const auto found = elements_.find(owner);
  if (found == elements_.end())
    return std::nullopt;
  Element& element = found->second;
  if (element.message != message || static_cast<SOCKET>(wParam) != element.socket.get())
    return std::nullopt;
  if (WSAGETSELECTEVENT(lParam) != FD_CONNECT)
    return std::nullopt;
  // One result per connect: anything that follows for this attempt is stale.
  ReleaseMessageNumber(element);
  return SocketEvent{owner, WSAGETSELECTERROR(lParam) == 0};
}

void WinsockProbeSockets::CloseAll() noexcept {
  elements_.clear();
  spare_ = Spare{};
  messageOwners_.assign(messageCount_, kNoOwner);
}

}  // namespace orv
