// Runs under Wine in a private network namespace with only loopback up: the listeners below are
// the only servers there.
#include "probe/probe_sockets_win32.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "platform/failure.h"
#include "probe/tcp_connect_win32.h"

namespace orv {
namespace {

constexpr UINT kFirstMessage = WM_APP + 0x100;
constexpr UINT kMessageCount = 64;
constexpr DWORD kWaitMs = 5000;

using Event = std::pair<int16_t, bool>;  // index, connected

class ProbeSocketsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA data{};
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    window_.reset(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr));
    ASSERT_TRUE(window_);
  }
  void TearDown() override {
    window_.reset();
    WSACleanup();
  }

  // A socket on 127.0.0.1:port, listening or only bound.
  static UniqueSocket Open(int32_t port, bool listening) {
    UniqueSocket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    EXPECT_TRUE(socket);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    EXPECT_EQ(bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0)
        << "port " << port << " error " << WSAGetLastError();
    if (listening) {
      EXPECT_EQ(listen(socket.get(), SOMAXCONN), 0);
    }
    return socket;
  }

  // The next event of the family, pumping the socket messages for at most `waitMs`; stale
  // messages are taken and passed over.
  std::optional<Event> NextEvent(WinsockProbeSockets& sockets, DWORD waitMs = kWaitMs) {
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (;;) {
      MSG message{};
      while (PeekMessageW(&message, window_.get(), kFirstMessage, kFirstMessage + kMessageCount - 1,
                          PM_REMOVE)) {
        if (auto event = sockets.TakeEvent(message.message, message.wParam, message.lParam))
          return Event{event->index, event->connected};
      }
      const ULONGLONG now = GetTickCount64();
      if (now >= deadline)
        return std::nullopt;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now),
                                QS_POSTMESSAGE);
    }
  }

  // A new element connecting to 127.0.0.1:port.
  static void Start(WinsockProbeSockets& sockets, int16_t index, int32_t port) {
    sockets.Create(index);
    sockets.Connect(index, "127.0.0.1", port);
  }

  UniqueWindow window_;
};

TEST_F(ProbeSocketsTest, BusyPortsConnectAndAFreePortFails) {
  const UniqueSocket busy = Open(20001, true);
  WinsockProbeSockets sockets(window_.get(), kFirstMessage, kMessageCount);
  sockets.Create(1);
  EXPECT_TRUE(sockets.Exists(1));
  EXPECT_FALSE(sockets.Exists(2));
  sockets.Connect(1, "127.0.0.1", 20001);
  EXPECT_EQ(NextEvent(sockets), Event(1, true));
  EXPECT_EQ(sockets.RemotePort(1), 20001);

  // Sent on after a close, the element keeps its host and opens a new socket.
  sockets.Close(1);
  sockets.Reconnect(1, 20002);
  EXPECT_EQ(NextEvent(sockets), Event(1, false));
  EXPECT_EQ(sockets.RemotePort(1), 20002);
  EXPECT_EQ(NextEvent(sockets, 300), std::nullopt);  // one result per connect

  sockets.Close(1);
  sockets.Reconnect(1, 20001);
  EXPECT_EQ(NextEvent(sockets), Event(1, true));
}

TEST_F(ProbeSocketsTest, ParallelElementsReportUnderTheirOwnIndex) {
  const UniqueSocket busyA = Open(20011, true);
  const UniqueSocket busyB = Open(20012, true);
  WinsockProbeSockets sockets(window_.get(), kFirstMessage, kMessageCount);
  for (int16_t i = 1; i <= 3; ++i)
    Start(sockets, i, 20010 + i);
  std::set<Event> events;
  for (int i = 0; i < 3; ++i) {
    const auto event = NextEvent(sockets);
    ASSERT_TRUE(event);
    events.insert(*event);
  }
  EXPECT_EQ(events, (std::set<Event>{{1, true}, {2, true}, {3, false}}));
}

TEST_F(ProbeSocketsTest, AClosedElementReportsNothing) {
  const UniqueSocket busy = Open(20021, true);
  WinsockProbeSockets sockets(window_.get(), kFirstMessage, kMessageCount);
  Start(sockets, 1, 20021);
  Start(sockets, 2, 20022);
  Sleep(200);  // both results are queued by now
  sockets.Close(1);
  sockets.Remove(2);
  EXPECT_FALSE(sockets.Exists(2));
  EXPECT_EQ(NextEvent(sockets, 500), std::nullopt);

  // The refusal queued for the first connect does not pass for the result of the next one.
  sockets.Reconnect(1, 20022);
  Sleep(200);
  sockets.Close(1);
  sockets.Reconnect(1, 20021);
  EXPECT_EQ(NextEvent(sockets), Event(1, true));
  EXPECT_EQ(NextEvent(sockets, 300), std::nullopt);
}

TEST_F(ProbeSocketsTest, CloseAllSilencesEveryElement) {
  WinsockProbeSockets sockets(window_.get(), kFirstMessage, kMessageCount);
  for (int16_t i = 1; i <= 4; ++i)
    Start(sockets, i, 20030 + i);
  Sleep(200);
  sockets.CloseAll();
  for (int16_t i = 1; i <= 4; ++i)
    EXPECT_FALSE(sockets.Exists(i));
  EXPECT_EQ(NextEvent(sockets, 500), std::nullopt);
}

TEST_F(ProbeSocketsTest, MessagesNotMadeByTheFamilyAreIgnored) {
  WinsockProbeSockets sockets(window_.get(), kFirstMessage, kMessageCount);
  Start(sockets, 1, 20061);  // the first attempt uses the first message number
  const LPARAM connected = WSAMAKESELECTREPLY(FD_CONNECT, 0);
  EXPECT_EQ(sockets.TakeEvent(kFirstMessage, 1234, connected), std::nullopt);
  EXPECT_EQ(sockets.TakeEvent(kFirstMessage - 1, 0, connected), std::nullopt);
  EXPECT_EQ(sockets.TakeEvent(kFirstMessage + kMessageCount, 0, connected), std::nullopt);
  EXPECT_EQ(NextEvent(sockets), Event(1, false));
}

TEST_F(ProbeSocketsTest, MessageNumbersAreReusedOnceFree) {
  const UniqueSocket busy = Open(20041, true);
  WinsockProbeSockets sockets(window_.get(), kFirstMessage, 2);
  Start(sockets, 1, 20041);
  Start(sockets, 2, 20041);
  EXPECT_THROW(Start(sockets, 3, 20041), Failure);  // both numbers in use
  for (int round = 0; round < 5; ++round) {
    const auto event = NextEvent(sockets);
    ASSERT_TRUE(event) << "round " << round;
    EXPECT_TRUE(event->second);
    sockets.Close(event->first);
    sockets.Reconnect(event->first, 20041);
  }
}

TEST_F(ProbeSocketsTest, ElementsFollowTheControlArrayRules) {
  WinsockProbeSockets sockets(window_.get(), kFirstMessage, kMessageCount);
  sockets.Create(1);
  EXPECT_THROW(sockets.Create(1), Failure);
  EXPECT_THROW(sockets.Connect(2, "127.0.0.1", 80), Failure);
  EXPECT_THROW(sockets.Reconnect(2, 80), Failure);
  EXPECT_EQ(sockets.RemotePort(2), 0);
  sockets.Close(2);  // missing elements are passed over
  sockets.Remove(2);
  EXPECT_TRUE(sockets.Exists(1));
}

TEST_F(ProbeSocketsTest, APortBoundElsewhereCannotBeListenedOn) {
  WinsockProbeSockets sockets(window_.get(), kFirstMessage, kMessageCount);
  const UniqueSocket bound = Open(20051, false);
  const UniqueSocket listening = Open(20052, true);
  EXPECT_FALSE(sockets.CanListenOn(20051));
  EXPECT_FALSE(sockets.CanListenOn(20052));
  EXPECT_TRUE(sockets.CanListenOn(20053));
  EXPECT_TRUE(sockets.CanListenOn(80));  // low ports are allowed inside the test's namespace
  // The check holds nothing: the port can be checked again, and bound by someone else.
  EXPECT_TRUE(sockets.CanListenOn(20053));
  const UniqueSocket after = Open(20053, true);
  EXPECT_FALSE(sockets.CanListenOn(20053));
}

TEST_F(ProbeSocketsTest, APortHeldOnlyOverIpv6CannotBeListenedOn) {
  UniqueSocket v6(::socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP));
  if (!v6)
    GTEST_SKIP() << "no IPv6 sockets here";
  const BOOL on = TRUE;
  setsockopt(v6.get(), IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&on), sizeof(on));
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_addr = in6addr_loopback;
  address.sin6_port = htons(20071);
  if (bind(v6.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
    GTEST_SKIP() << "no IPv6 loopback here";
  ASSERT_EQ(listen(v6.get(), SOMAXCONN), 0);

  WinsockProbeSockets sockets(window_.get(), kFirstMessage, kMessageCount);
  // The IPv4 probe is refused, yet a server could not take the port.
  Start(sockets, 1, 20071);
  EXPECT_EQ(NextEvent(sockets), Event(1, false));
  EXPECT_FALSE(sockets.CanListenOn(20071));
}

// The socket made ready for the next connect is of the last connect's family: an element that
// connects over the other family must not be given it (its connect would fail, and a busy port
// would pass for a free one).
TEST_F(ProbeSocketsTest, ElementsOfBothFamiliesTakeTurns) {
  UniqueSocket v6(::socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP));
  if (!v6)
    GTEST_SKIP() << "no IPv6 sockets here";
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_addr = in6addr_loopback;
  address.sin6_port = htons(20092);
  if (bind(v6.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
    GTEST_SKIP() << "no IPv6 loopback here";
  ASSERT_EQ(listen(v6.get(), SOMAXCONN), 0);
  const UniqueSocket v4 = Open(20091, true);

  WinsockProbeSockets sockets(window_.get(), kFirstMessage, kMessageCount);
  Start(sockets, 1, 20091);
  EXPECT_EQ(NextEvent(sockets), Event(1, true));
  sockets.Create(2);
  sockets.Connect(2, "::1", 20092);
  EXPECT_EQ(NextEvent(sockets), Event(2, true));
  for (const int16_t index : {int16_t{1}, int16_t{2}}) {
    sockets.Close(index);
    sockets.Reconnect(index, index == 1 ? 20091 : 20092);
    EXPECT_EQ(NextEvent(sockets), Event(index, true));
  }
}

// The one loopback connect that waits for its answer, as the watch asks where the TCP table
// cannot be read.
TEST_F(ProbeSocketsTest, LoopbackPortAcceptsOnlyWhereAServerListens) {
  const UniqueSocket listening = Open(20081, true);
  const UniqueSocket bound = Open(20082, false);
  EXPECT_TRUE(LoopbackPortAccepts(20081, 1000));
  EXPECT_FALSE(LoopbackPortAccepts(20082, 1000));
  EXPECT_FALSE(LoopbackPortAccepts(20083, 1000));
  EXPECT_FALSE(LoopbackPortAccepts(0, 1000));
}

}  // namespace
}  // namespace orv
