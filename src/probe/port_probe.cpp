#include "probe/port_probe.h"

#include "platform/failure.h"
#include "probe/number_reading.h"

namespace orv {
namespace {

// Only real TCP ports are probed: a connect to port 0 or beyond 65535 fails at once, and that
// failure would otherwise be taken as a free port that no server can listen on.
constexpr int32_t kFirstPort = 1;
constexpr int32_t kLastPort = 65535;

// A box text quoted in a message, cut short (on a character boundary) when it is long.
std::string Quoted(const std::string& text) {
  constexpr size_t kMaxBytes = 40;
  std::string shown = text;
  if (shown.size() > kMaxBytes) {
    size_t cut = kMaxBytes;
    while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80)
      --cut;
    shown = shown.substr(0, cut) + "…";
  }
  return "“" + shown + "”";
}

}  // namespace

int32_t PortProbe::ReadLowerBound() const {
  const std::string text = view_.BoxText(ProbeBox::kLowerBound);
  const std::optional<int32_t> value = ReadInt32(text);
  if (!value) {
    throw Failure("端口下限" + Quoted(text) +
                  "超出 32 位整数的范围（-2147483648 到 2147483647），扫描未开始。");
  }
  if (*value < kFirstPort || *value > kLastPort) {
    throw Failure("端口下限" + Quoted(text) + "不是有效的端口号（1 到 65535），扫描未开始。");
  }
  return *value;
}

int16_t PortProbe::ReadMaxConnections(const char* abandoned) const {
  const std::string text = view_.BoxText(ProbeBox::kMaxConnections);
  const std::optional<int16_t> value = ReadInt16(text);
  if (!value) {
    throw Failure("最大连接数" + Quoted(text) + "超出 16 位整数的范围（-32768 到 32767），" +
                  abandoned);
  }
  return *value;
}

double PortProbe::ReadUpperBound() const {
  const std::string text = view_.BoxText(ProbeBox::kUpperBound);
  const std::optional<double> value = ReadNumber(text);
  if (!value)
    throw Failure("端口上限" + Quoted(text) + "超出数值范围，探测无法继续。");
  return *value;
}

void PortProbe::FormLoad() {
  found_ = false;
  Scan();
}

void PortProbe::Scan() {
  // Both boxes are read before anything changes, so that a bad value leaves the window as it was.
  const int32_t lowerBound = ReadLowerBound();
  const int16_t count = ReadMaxConnections("扫描未开始。");

  // Elements of an earlier scan would otherwise collide with the new ones.
  RemoveElements();

  currentPort_ = lowerBound;
  // The first ports are given out without looking at the upper bound, but never beyond the last
  // TCP port.
  for (int i = 1; i <= count && currentPort_ <= kLastPort; ++i) {
    const auto index = static_cast<int16_t>(i);
    sockets_.Create(index);
    highestElement_ = index;
    sockets_.Connect(index, view_.BoxText(ProbeBox::kHost), currentPort_);
    ++currentPort_;
  }
}

void PortProbe::Stop() {
  const int16_t count = ReadMaxConnections("未停止任何探测。");
  for (int i = 1; i <= count; ++i) {
    const auto index = static_cast<int16_t>(i);
    if (sockets_.Exists(index)) {
      sockets_.Close(index);
      sockets_.Remove(index);
    }
  }
}

void PortProbe::SocketConnected(int16_t index) {
  // A report for an element that is gone (stopped, or removed after the result) changes nothing.
  if (!sockets_.Exists(index))
    return;
  ProbeNextPort(index);
}

void PortProbe::ProbeNextPort(int16_t index) {
  // The upper bound is read first: when it cannot be read the element stays as it is.
  const double upperBound = ReadUpperBound();
  sockets_.Close(index);
  if (upperBound > currentPort_ && currentPort_ <= kLastPort) {
    sockets_.Reconnect(index, currentPort_);
    ++currentPort_;
  } else {
    sockets_.Remove(index);
  }
}

void PortProbe::SocketFailed(int16_t index) {
  if (!sockets_.Exists(index))
    return;
  if (found_) {
    // The bundle is configured once, for the first free port; a later report only ends the
    // element that made it.
    sockets_.Close(index);
    sockets_.Remove(index);
    return;
  }
  const int32_t port = sockets_.RemotePort(index);
  // Refused but not bindable: a reserved range, or a server on another address of this machine.
  // A web server could not listen there either, so the port counts as busy.
  if (!sockets_.CanListenOn(port)) {
    ProbeNextPort(index);
    return;
  }
  found_ = true;
  view_.StopTimer();
  freePort_ = std::to_string(port);
  // The search is over: the other probes would only walk on through ports nobody needs.
  RemoveElements(index);
  try {
    view_.ShowFreePort(port);
  } catch (...) {
    resultFailed_ = true;
    throw;
  }
}

void PortProbe::Retry() {
  if (!resultFailed_)
    return;
  Scan();  // throws before anything changes when a box cannot be read
  resultFailed_ = false;
  found_ = false;
  view_.StartTimer();
}

void PortProbe::TimerTick() {
  std::string text = "当前端口：";
  if (currentPort_ >= 0)
    text += ' ';
  text += std::to_string(currentPort_);
  // The timer ticks a hundred times a second; the bar is only redrawn when the text changes.
  if (text != statusText_) {
    view_.SetStatusText(text);
    statusText_ = std::move(text);
  }
}

void PortProbe::RemoveElements(int16_t keep) {
  for (int i = 1; i <= highestElement_; ++i) {
    const auto index = static_cast<int16_t>(i);
    if (index != keep && sockets_.Exists(index)) {
      sockets_.Close(index);
      sockets_.Remove(index);
    }
  }
  highestElement_ = keep;
}

}  // namespace orv
