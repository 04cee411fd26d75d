#include "probe/port_probe.h"

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

using Ports = std::vector<int32_t>;
using Results = std::vector<std::string>;

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
    if (Require(index, "closing"))
      elements[index].open = false;
  }
  void Remove(int16_t index) override {
    Require(index, "removing");
    elements.erase(index);
  }
  int32_t RemotePort(int16_t index) const override { return elements.at(index).port; }
  bool CanListenOn(int32_t port) override {
    listenChecks.push_back(port);
    return unbindable.count(port) == 0;
  }

  std::map<int16_t, Element> elements;
  std::deque<int16_t> inFlight;  // elements whose connect has not been answered, oldest first
  Ports probed;                  // every port a connect went to, in order
  Ports listenChecks;
  std::set<int32_t> unbindable;

 private:
  // A closed or removed element's connect is no longer in flight.
  bool Require(int16_t index, const char* action) {
    inFlight.erase(std::remove(inFlight.begin(), inFlight.end(), index), inFlight.end());
    if (!Exists(index))
      ADD_FAILURE() << action << " missing element " << index;
    return Exists(index);
  }
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
};

class FakeView : public ProbeView {
 public:
  std::string BoxText(ProbeBox box) const override { return boxes.at(box); }
  void SetStatusText(const std::string& text) override { statusText = text; }
  void StopTimer() override { timerRunning = false; }
  void StartTimer() override { timerRunning = true; }
  void ShowFreePort(int32_t port) override {
    results.push_back(std::to_string(port));
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
  Results results;
};

// The probe with its fakes, and the moves of the window's events.
struct ProbeHarness {
  // Sets the lower bound, upper bound and connection count; nullptr leaves a box as it is.
  void SetBoxes(const char* lower, const char* upper, const char* count) {
    for (const auto& [box, text] : {std::pair{ProbeBox::kLowerBound, lower},
                                    {ProbeBox::kUpperBound, upper},
                                    {ProbeBox::kMaxConnections, count}}) {
      if (text != nullptr)
        view.boxes[box] = text;
    }
  }

  // Answers the connect of one element: connected when its port is busy, failed otherwise.
  void Answer(int16_t index) {
    auto& inFlight = sockets.inFlight;
    const auto at = std::find(inFlight.begin(), inFlight.end(), index);
    ASSERT_NE(at, inFlight.end()) << "element " << index << " has no connect in flight";
    inFlight.erase(at);
    if (busy.count(sockets.elements.at(index).port) != 0)
      probe.SocketConnected(index);
    else
      probe.SocketFailed(index);
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

class PortProbeTest : public ::testing::Test, protected ProbeHarness {};

// Whole scans from FormLoad, answered oldest first. Without a result every element is gone and
// the timer runs; with one, only the element that found the port is left, in its failed state.
TEST(PortProbe, ScansFromTheBoxesToTheFirstFreePort) {
  struct Case {
    const char* lower;
    const char* upper;
    const char* count;
    int32_t busyFirst, busyLast;
    std::set<int32_t> unbindable;
    Ports probed;
    Ports listenChecks;
    std::string result;  // empty: none
  };
  const char* const _ = nullptr;  // the box as it is: 80, 10000, 1
  const Case cases[] = {
      {_, _, _, 0, -1, {}, {80}, {80}, "80"},
      {"1000", _, _, 1000, 1002, {}, {1000, 1001, 1002, 1003}, {1003}, "1003"},
      // The upper bound is the first port not sent on to.
      {"1000", "1001", _, 1000, 1001, {}, {1000}, {}, ""},
      // The first ports are given out whatever the upper bound.
      {_, "0", "3", 80, 100, {}, {80, 81, 82}, {}, ""},
      // The upper bound is compared unrounded, and read leniently.
      {_, "81.4", _, 80, 90, {}, {80, 81}, {}, ""},
      {_, " 8.15e1端口", _, 80, 90, {}, {80, 81}, {}, ""},
      // Only real TCP ports: the first ports and the walk both stop at 65535.
      {"65534", "70000", "3", 65534, 65535, {}, {65534, 65535}, {}, ""},
      // A refused port that cannot be bound is busy, also at the upper bound.
      {_, _, _, 80, 80, {81, 82}, {80, 81, 82, 83}, {81, 82, 83}, "83"},
      {_, "81", _, 0, -1, {80}, {80}, {80}, ""},
      // Boxes are rounded half to even.
      {"1000.5", _, "2.5", 0, -1, {}, {1000, 1001}, {1000}, "1000"},
      {"999.5", _, "3.5", 0, -1, {}, {1000, 1001, 1002, 1003}, {1000}, "1000"},
      // No connections, no probe.
      {_, _, "0", 0, -1, {}, {}, {}, ""},
      {_, _, "-3", 0, -1, {}, {}, {}, ""},
      {_, _, "abc", 0, -1, {}, {}, {}, ""},
      {_, _, "", 0, -1, {}, {}, {}, ""},
      {_, _, "0.5", 0, -1, {}, {}, {}, ""},
  };
  for (const Case& c : cases) {
    ProbeHarness h;
    SCOPED_TRACE(testing::Message()
                 << "lower " << (c.lower ? c.lower : "80") << ", upper "
                 << (c.upper ? c.upper : "10000") << ", count " << (c.count ? c.count : "1"));
    h.SetBoxes(c.lower, c.upper, c.count);
    h.Busy(c.busyFirst, c.busyLast);
    h.sockets.unbindable = c.unbindable;
    h.probe.FormLoad();
    h.RunToEnd();
    EXPECT_EQ(h.sockets.probed, c.probed);
    EXPECT_EQ(h.sockets.listenChecks, c.listenChecks);
    EXPECT_EQ(h.view.results, c.result.empty() ? Results{} : Results{c.result});
    EXPECT_EQ(h.probe.FreePort(), c.result);
    EXPECT_EQ(h.probe.Found(), !c.result.empty());
    EXPECT_EQ(h.view.timerRunning, c.result.empty());
    EXPECT_EQ(h.sockets.elements.size(), c.result.empty() ? 0u : 1u);
  }
}

// Each first connect reads the host box, and an element sent on keeps its host; ports go to the
// elements in the order their reports arrive.
TEST_F(PortProbeTest, PortsGoToElementsInTheOrderTheirReportsArrive) {
  view.boxes[ProbeBox::kHost] = "::1";
  SetBoxes(nullptr, nullptr, "3");
  Busy(80, 85);
  probe.FormLoad();
  EXPECT_EQ(sockets.probed, (Ports{80, 81, 82}));
  EXPECT_EQ(probe.CurrentPort(), 83);
  Answer(2);
  Answer(3);
  Answer(1);
  Answer(1);
  EXPECT_EQ(sockets.probed, (Ports{80, 81, 82, 83, 84, 85, 86}));
  EXPECT_EQ(sockets.elements.at(2).port, 83);
  EXPECT_EQ(sockets.elements.at(3).port, 84);
  EXPECT_EQ(sockets.elements.at(1).port, 86);
  EXPECT_EQ(probe.CurrentPort(), 87);
  for (const auto& [index, element] : sockets.elements)
    EXPECT_EQ(element.host, "::1") << index;
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
  SetBoxes(nullptr, "82", nullptr);
  Answer(1);  // 81 busy: on to 82? 82 is not below the bound
  EXPECT_EQ(sockets.probed, (Ports{80, 81}));
  EXPECT_FALSE(sockets.Exists(1));
}

// A box that cannot be read stops Scan and Stop before anything changes.
TEST_F(PortProbeTest, UnreadableBoxesStopScanAndStopAndChangeNothing) {
  SetBoxes(nullptr, nullptr, "2");
  probe.FormLoad();
  const Ports before = sockets.probed;
  try {
    SetBoxes("2147483648", nullptr, nullptr);
    probe.Scan();
    ADD_FAILURE() << "no overflow";
  } catch (const Failure& failure) {
    EXPECT_NE(std::string(failure.what()).find("端口下限“2147483648”"), std::string::npos)
        << failure.what();
  }
  for (const char* lower : {"0", "-5", "65536", "abc"}) {  // not a TCP port
    SetBoxes(lower, nullptr, nullptr);
    EXPECT_THROW(probe.Scan(), Failure) << lower;
  }
  SetBoxes("80", nullptr, "32767.5");
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
  SetBoxes(nullptr, "1e999", nullptr);
  sockets.inFlight.clear();
  EXPECT_THROW(probe.SocketConnected(1), Failure);
  EXPECT_TRUE(sockets.elements.at(1).open);
  EXPECT_EQ(sockets.probed, Ports{80});
  EXPECT_EQ(probe.CurrentPort(), 81);
}

TEST_F(PortProbeTest, TheFirstFreePortEndsTheSearch) {
  SetBoxes(nullptr, nullptr, "3");
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
  SetBoxes(nullptr, nullptr, "2");
  view.failResult = true;
  probe.FormLoad();
  EXPECT_THROW(Answer(1), Failure);
  EXPECT_FALSE(view.timerRunning);
  EXPECT_FALSE(sockets.Exists(2));
  probe.SocketFailed(1);
  EXPECT_EQ(view.results, Results{"80"});
}

// After a failed result sequence only a retry configures again: a new scan from the lower bound
// with the timer running, whose first free port is the one result. A scan is not a retry, and a
// retry with nothing failed does nothing.
TEST_F(PortProbeTest, RetryAfterAFailedResultScansAgainFromTheLowerBound) {
  probe.Retry();
  EXPECT_TRUE(sockets.probed.empty());

  SetBoxes(nullptr, nullptr, "2");
  Busy(80, 80);
  view.failResult = true;
  probe.FormLoad();
  EXPECT_THROW(Answer(2), Failure);  // 81 is free; its configuration failed
  probe.Scan();                      // the hidden Scan button
  RunToEnd();
  EXPECT_EQ(view.results, Results{"81"});
  EXPECT_FALSE(view.timerRunning);

  busy.clear();  // 80 was released meanwhile
  view.failResult = false;
  const size_t before = sockets.probed.size();
  probe.Retry();
  EXPECT_TRUE(view.timerRunning);
  EXPECT_EQ(Ports(sockets.probed.begin() + before, sockets.probed.end()), (Ports{80, 81}));
  Answer(1);
  EXPECT_EQ(view.results, (Results{"81", "80"}));
  EXPECT_FALSE(view.timerRunning);

  probe.SocketFailed(2);  // removed with the result
  probe.Retry();
  EXPECT_EQ(view.results, (Results{"81", "80"}));
  EXPECT_EQ(sockets.probed.size(), before + 2);
}

TEST_F(PortProbeTest, ScanAgainReplacesTheRunningElements) {
  SetBoxes(nullptr, nullptr, "2");
  Busy(80, 90);
  probe.FormLoad();
  Answer(1);
  probe.Scan();  // the fake fails the test if an element were created twice
  EXPECT_EQ(sockets.probed, (Ports{80, 81, 82, 80, 81}));
  EXPECT_EQ(sockets.inFlight, (std::deque<int16_t>{1, 2}));
  EXPECT_EQ(probe.CurrentPort(), 82);
}

// Stop reads the connection count again, and passes over elements that are gone.
TEST_F(PortProbeTest, StopEndsTheCountedElementsThatExist) {
  SetBoxes(nullptr, "83", "3");
  Busy(80, 90);
  probe.FormLoad();
  Answer(1);  // on to 83? 83 is not below the bound: removed
  EXPECT_FALSE(sockets.Exists(1));
  SetBoxes(nullptr, nullptr, "2");
  probe.Stop();
  EXPECT_EQ(sockets.elements.size(), 1u);
  EXPECT_TRUE(sockets.Exists(3));
  SetBoxes(nullptr, nullptr, "5");
  probe.Stop();
  EXPECT_TRUE(sockets.elements.empty());
  EXPECT_TRUE(sockets.inFlight.empty());
  EXPECT_EQ(probe.CurrentPort(), 83);
  EXPECT_TRUE(view.timerRunning);

  probe.SocketConnected(2);  // a report that crossed the stop
  EXPECT_EQ(sockets.probed, (Ports{80, 81, 82}));
}

}  // namespace
}  // namespace orv
