#include "scan/port_probe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/failure.h"

namespace orv {
namespace {

// A socket family that keeps its elements in memory and delivers connect results only when the
// test says so. It fails the test when the engine uses an element against the rules of the
// control array (create twice, connect while a connect is in flight, touch a missing element).
class FakeSockets : public ProbeSockets {
 public:
  struct Element {
    bool open = false;  // a connect was made and the socket not closed since
    std::string host;
    int32_t port = 0;
  };

  bool Exists(int16_t index) const override { return elements.count(index) != 0; }
  void Create(int16_t index) override {
    if (Exists(index))
      ADD_FAILURE() << "element " << index << " created twice";
    elements[index] = Element{};
  }
  void Connect(int16_t index, const std::string& host, int32_t port) override {
    Start(index, port).host = host;
  }
  void Reconnect(int16_t index, int32_t port) override {
    if (Exists(index) && elements[index].host.empty())
      ADD_FAILURE() << "element " << index << " sent on without a host";
    Start(index, port);
  }
  void Close(int16_t index) override {
    if (!Exists(index)) {
      ADD_FAILURE() << "closing missing element " << index;
      return;
    }
    elements[index].open = false;
    Forget(index);
  }
  void Remove(int16_t index) override {
    if (!Exists(index))
      ADD_FAILURE() << "removing missing element " << index;
    elements.erase(index);
    Forget(index);
  }
  int32_t RemotePort(int16_t index) const override { return elements.at(index).port; }
  bool CanListenOn(int32_t port) override {
    listenChecks.push_back(port);
    return unbindable.count(port) == 0;
  }

  std::map<int16_t, Element> elements;
  std::deque<int16_t> inFlight;  // elements whose connect has not been answered, oldest first
  std::vector<int32_t> probed;   // every port a connect went to, in order
  std::vector<int32_t> listenChecks;
  std::set<int32_t> unbindable;

 private:
  Element& Start(int16_t index, int32_t port) {
    if (!Exists(index))
      ADD_FAILURE() << "connecting missing element " << index;
    Element& element = elements[index];
    if (element.open)
      ADD_FAILURE() << "element " << index << " connected again without a close";
    element.open = true;
    element.port = port;
    probed.push_back(port);
    inFlight.push_back(index);
    return element;
  }
  void Forget(int16_t index) {
    inFlight.erase(std::remove(inFlight.begin(), inFlight.end(), index), inFlight.end());
  }
};

class FakeView : public ProbeView {
 public:
  std::string BoxText(ProbeBox box) const override { return boxes.at(box); }
  void SetStatusText(const std::string& text) override { statusText = text; }
  void StopTimer() override { timerRunning = false; }
  void ShowFreePort(const std::string& port) override {
    results.push_back(port);
    if (failResult)
      throw Failure("写入文件“httpd.conf”失败：拒绝访问。");
  }

  std::map<ProbeBox, std::string> boxes{{ProbeBox::kHost, "127.0.0.1"},
                                        {ProbeBox::kLowerBound, "80"},
                                        {ProbeBox::kUpperBound, "10000"},
                                        {ProbeBox::kMaxConnections, "1"}};
  std::string statusText;
  bool timerRunning = true;
  bool failResult = false;
  std::vector<std::string> results;
};

class PortProbeTest : public ::testing::Test {
 protected:
  void SetBox(ProbeBox box, const std::string& text) { view.boxes[box] = text; }

  // Answers the connect of one element: connected when its port is busy, failed otherwise.
  void Answer(int16_t index) {
    ASSERT_TRUE(sockets.Exists(index));
    auto& inFlight = sockets.inFlight;
    const auto at = std::find(inFlight.begin(), inFlight.end(), index);
    ASSERT_NE(at, inFlight.end()) << "element " << index << " has no connect in flight";
    inFlight.erase(at);
    if (busy.count(sockets.elements[index].port) != 0) {
      probe.SocketConnected(index);
    } else {
      probe.SocketFailed(index);
    }
  }

  // Answers connects, oldest first, until none is in flight.
  void RunToEnd() {
    for (int guard = 0; !sockets.inFlight.empty(); ++guard) {
      ASSERT_LT(guard, 100000) << "the probe never ends";
      Answer(sockets.inFlight.front());
    }
  }

  void Busy(int32_t first, int32_t last) {
    for (int32_t port = first; port <= last; ++port)
      busy.insert(port);
  }

  FakeSockets sockets;
  FakeView view;
  PortProbe probe{sockets, view};
  std::set<int32_t> busy;
};

using Ports = std::vector<int32_t>;
using Results = std::vector<std::string>;

TEST_F(PortProbeTest, DefaultsWithPortEightyFreeGiveEighty) {
  probe.FormLoad();
  EXPECT_EQ(sockets.probed, Ports{80});
  EXPECT_EQ(sockets.elements.at(1).host, "127.0.0.1");
  RunToEnd();
  EXPECT_EQ(view.results, Results{"80"});
  EXPECT_EQ(probe.FreePort(), "80");
  EXPECT_TRUE(probe.Found());
  EXPECT_FALSE(view.timerRunning);
  // The failing element stays in its failed state.
  EXPECT_TRUE(sockets.Exists(1));
}

TEST_F(PortProbeTest, WalksUpwardProbingEachPortOnce) {
  SetBox(ProbeBox::kLowerBound, "1000");
  Busy(1000, 1002);
  probe.FormLoad();
  RunToEnd();
  EXPECT_EQ(sockets.probed, (Ports{1000, 1001, 1002, 1003}));
  EXPECT_EQ(sockets.elements.at(1).host, "127.0.0.1");  // the host is kept when sent on
  EXPECT_EQ(view.results, Results{"1003"});
  EXPECT_EQ(probe.CurrentPort(), 1004);
}

TEST_F(PortProbeTest, TheUpperBoundIsTheFirstPortNotProbed) {
  SetBox(ProbeBox::kLowerBound, "1000");
  SetBox(ProbeBox::kUpperBound, "1001");
  Busy(1000, 1001);
  probe.FormLoad();
  RunToEnd();
  EXPECT_EQ(sockets.probed, Ports{1000});
  EXPECT_TRUE(sockets.elements.empty());
  EXPECT_TRUE(view.results.empty());
  EXPECT_TRUE(view.timerRunning);
  EXPECT_FALSE(probe.Found());
}

TEST_F(PortProbeTest, TheFirstPortsIgnoreTheUpperBound) {
  SetBox(ProbeBox::kUpperBound, "0");
  SetBox(ProbeBox::kMaxConnections, "3");
  Busy(80, 100);
  probe.FormLoad();
  EXPECT_EQ(sockets.probed, (Ports{80, 81, 82}));
  RunToEnd();
  EXPECT_EQ(sockets.probed, (Ports{80, 81, 82}));
  EXPECT_TRUE(sockets.elements.empty());
}

TEST_F(PortProbeTest, NoConnectionsMeansNoProbe) {
  for (const char* count : {"0", "-3", "abc", "", "0.5"}) {
    SetBox(ProbeBox::kMaxConnections, count);
    probe.Scan();
    EXPECT_TRUE(sockets.elements.empty()) << count;
    EXPECT_TRUE(sockets.probed.empty()) << count;
  }
}

TEST_F(PortProbeTest, PortsGoToElementsInTheOrderTheirReportsArrive) {
  SetBox(ProbeBox::kMaxConnections, "3");
  Busy(80, 85);
  probe.FormLoad();
  EXPECT_EQ(sockets.probed, (Ports{80, 81, 82}));
  EXPECT_EQ(probe.CurrentPort(), 83);
  Answer(2);
  Answer(3);
  Answer(1);
  EXPECT_EQ(sockets.elements.at(2).port, 83);
  EXPECT_EQ(sockets.elements.at(3).port, 84);
  EXPECT_EQ(sockets.elements.at(1).port, 85);
  Answer(1);
  EXPECT_EQ(sockets.elements.at(1).port, 86);
  EXPECT_EQ(probe.CurrentPort(), 87);
}

TEST_F(PortProbeTest, StatusShowsTheCounterWithOneBlank) {
  probe.TimerTick();
  EXPECT_EQ(view.statusText, "当前端口： 0");
  probe.FormLoad();
  probe.TimerTick();
  EXPECT_EQ(view.statusText, "当前端口： 81");
  Busy(80, 80);
  Answer(1);
  probe.TimerTick();
  EXPECT_EQ(view.statusText, "当前端口： 82");
}

TEST_F(PortProbeTest, UpperBoundIsReadAgainAtEachConnectedReport) {
  Busy(80, 90);
  probe.FormLoad();
  Answer(1);  // 80 busy: on to 81
  EXPECT_EQ(sockets.probed, (Ports{80, 81}));
  SetBox(ProbeBox::kUpperBound, "82");
  Answer(1);  // 81 busy: on to 82? 82 is not below the bound
  EXPECT_EQ(sockets.probed, (Ports{80, 81}));
  EXPECT_FALSE(sockets.Exists(1));
}

TEST_F(PortProbeTest, UpperBoundIsComparedUnrounded) {
  SetBox(ProbeBox::kUpperBound, "81.4");  // would round to 81
  Busy(80, 90);
  probe.FormLoad();
  RunToEnd();
  EXPECT_EQ(sockets.probed, (Ports{80, 81}));
  SetBox(ProbeBox::kUpperBound, " 8.15e1端口");
  probe.Scan();
  RunToEnd();
  EXPECT_EQ(sockets.probed, (Ports{80, 81, 80, 81}));
}

TEST_F(PortProbeTest, BoxesAreRoundedHalfToEven) {
  SetBox(ProbeBox::kLowerBound, "1000.5");
  SetBox(ProbeBox::kMaxConnections, "2.5");
  probe.Scan();
  EXPECT_EQ(sockets.probed, (Ports{1000, 1001}));
  probe.Stop();
  SetBox(ProbeBox::kLowerBound, "999.5");
  SetBox(ProbeBox::kMaxConnections, "3.5");
  probe.Scan();
  EXPECT_EQ(sockets.probed, (Ports{1000, 1001, 1000, 1001, 1002, 1003}));
}

TEST_F(PortProbeTest, OverflowingBoxesStopScanAndChangeNothing) {
  SetBox(ProbeBox::kMaxConnections, "2");
  probe.FormLoad();
  const Ports before = sockets.probed;

  SetBox(ProbeBox::kLowerBound, "2147483648");
  try {
    probe.Scan();
    ADD_FAILURE() << "no overflow";
  } catch (const Failure& failure) {
    EXPECT_NE(std::string(failure.what()).find("端口下限“2147483648”"), std::string::npos)
        << failure.what();
  }
  SetBox(ProbeBox::kLowerBound, "80");
  SetBox(ProbeBox::kMaxConnections, "32767.5");
  EXPECT_THROW(probe.Scan(), Failure);
  EXPECT_THROW(probe.Stop(), Failure);

  EXPECT_EQ(sockets.probed, before);
  EXPECT_EQ(sockets.elements.size(), 2u);
  EXPECT_EQ(sockets.inFlight.size(), 2u);
  EXPECT_EQ(probe.CurrentPort(), 82);
}

TEST_F(PortProbeTest, OverflowingUpperBoundLeavesTheElementAsItWas) {
  Busy(80, 80);
  probe.FormLoad();
  SetBox(ProbeBox::kUpperBound, "1e999");
  sockets.inFlight.clear();
  EXPECT_THROW(probe.SocketConnected(1), Failure);
  EXPECT_TRUE(sockets.elements.at(1).open);
  EXPECT_EQ(sockets.probed, Ports{80});
  EXPECT_EQ(probe.CurrentPort(), 81);
}

TEST_F(PortProbeTest, OnlyRealTcpPortsAreProbed) {
  for (const char* lower : {"0", "-5", "65536", "abc"}) {
    SetBox(ProbeBox::kLowerBound, lower);
    EXPECT_THROW(probe.Scan(), Failure) << lower;
  }
  EXPECT_TRUE(sockets.probed.empty());

  SetBox(ProbeBox::kLowerBound, "65534");
  SetBox(ProbeBox::kUpperBound, "70000");
  SetBox(ProbeBox::kMaxConnections, "3");
  Busy(65534, 65535);
  probe.Scan();
  EXPECT_EQ(sockets.probed, (Ports{65534, 65535}));
  RunToEnd();
  EXPECT_EQ(sockets.probed, (Ports{65534, 65535}));
  EXPECT_TRUE(sockets.elements.empty());
  EXPECT_TRUE(view.results.empty());
}

TEST_F(PortProbeTest, ARefusedPortThatCannotBeBoundIsBusy) {
  Busy(80, 80);
  sockets.unbindable = {81, 82};
  probe.FormLoad();
  RunToEnd();
  EXPECT_EQ(sockets.probed, (Ports{80, 81, 82, 83}));
  EXPECT_EQ(sockets.listenChecks, (Ports{81, 82, 83}));
  EXPECT_EQ(view.results, Results{"83"});
}

TEST_F(PortProbeTest, AnUnbindablePortAtTheUpperBoundEndsTheElement) {
  SetBox(ProbeBox::kUpperBound, "81");
  sockets.unbindable = {80};
  probe.FormLoad();
  RunToEnd();
  EXPECT_EQ(sockets.probed, Ports{80});
  EXPECT_TRUE(sockets.elements.empty());
  EXPECT_FALSE(probe.Found());
}

TEST_F(PortProbeTest, TheFirstFreePortEndsTheSearch) {
  SetBox(ProbeBox::kMaxConnections, "3");
  Busy(80, 80);
  probe.FormLoad();
  Answer(2);  // 81 is free
  EXPECT_EQ(view.results, Results{"81"});
  EXPECT_TRUE(sockets.Exists(2));
  EXPECT_FALSE(sockets.Exists(1));
  EXPECT_FALSE(sockets.Exists(3));
  EXPECT_TRUE(sockets.inFlight.empty());

  // Reports that were already under way when the others were closed change nothing.
  probe.SocketFailed(3);
  probe.SocketConnected(1);
  probe.SocketFailed(2);
  EXPECT_EQ(view.results, Results{"81"});
  EXPECT_EQ(sockets.probed, (Ports{80, 81, 82}));
}

TEST_F(PortProbeTest, NoSecondResultAfterAnotherScan) {
  probe.FormLoad();
  RunToEnd();
  probe.Scan();
  EXPECT_EQ(sockets.probed, (Ports{80, 80}));
  RunToEnd();
  EXPECT_EQ(view.results, Results{"80"});
  EXPECT_TRUE(sockets.elements.empty());
}

TEST_F(PortProbeTest, AFailedResultSequenceIsReportedOnce) {
  SetBox(ProbeBox::kMaxConnections, "2");
  view.failResult = true;
  probe.FormLoad();
  EXPECT_THROW(Answer(1), Failure);
  EXPECT_FALSE(view.timerRunning);
  EXPECT_FALSE(sockets.Exists(2));
  probe.SocketFailed(1);
  EXPECT_EQ(view.results, Results{"80"});
}

TEST_F(PortProbeTest, ScanAgainReplacesTheRunningElements) {
  SetBox(ProbeBox::kMaxConnections, "2");
  Busy(80, 90);
  probe.FormLoad();
  Answer(1);
  probe.Scan();  // the fake fails the test if an element were created twice
  EXPECT_EQ(sockets.probed, (Ports{80, 81, 82, 80, 81}));
  EXPECT_EQ(sockets.inFlight, (std::deque<int16_t>{1, 2}));
  EXPECT_EQ(probe.CurrentPort(), 82);
}

TEST_F(PortProbeTest, StopPassesOverMissingElements) {
  SetBox(ProbeBox::kMaxConnections, "3");
  SetBox(ProbeBox::kUpperBound, "83");
  Busy(80, 90);
  probe.FormLoad();
  Answer(1);  // on to 83? 83 is not below the bound: removed
  EXPECT_FALSE(sockets.Exists(1));
  SetBox(ProbeBox::kMaxConnections, "5");
  probe.Stop();
  EXPECT_TRUE(sockets.elements.empty());
  EXPECT_TRUE(sockets.inFlight.empty());
  EXPECT_EQ(probe.CurrentPort(), 83);
  EXPECT_TRUE(view.timerRunning);

  probe.SocketConnected(2);  // a report that crossed the stop
  EXPECT_EQ(sockets.probed, (Ports{80, 81, 82}));
}

TEST_F(PortProbeTest, StopReadsTheConnectionCountAgain) {
  SetBox(ProbeBox::kMaxConnections, "3");
  probe.FormLoad();
  SetBox(ProbeBox::kMaxConnections, "2");
  probe.Stop();
  EXPECT_EQ(sockets.elements.size(), 1u);
  EXPECT_TRUE(sockets.Exists(3));
}

TEST_F(PortProbeTest, TheHostIsReadForEachFirstConnect) {
  SetBox(ProbeBox::kHost, "::1");
  SetBox(ProbeBox::kMaxConnections, "2");
  probe.Scan();
  EXPECT_EQ(sockets.elements.at(1).host, "::1");
  EXPECT_EQ(sockets.elements.at(2).host, "::1");
}

}  // namespace
}  // namespace orv
