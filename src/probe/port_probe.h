#pragma once
// The port probe of the scan window: searches the target address for the first port on which
// nothing accepts a connection, with N probe sockets working in parallel. Everything runs on the
// window's thread, driven by its events; the engine reaches the sockets and the window only
// through the two interfaces below, so that any order of events can be played against it.

#include <cstdint>
#include <string>

namespace orv {

// The hidden input boxes the probe reads, each time it needs them.
enum class ProbeBox { kHost, kLowerBound, kUpperBound, kMaxConnections };

// The family of probe sockets, addressed by a 16-bit index. Element 0 is the pattern and never
// probes; elements 1..N are created and removed by the probe. Connect results come back later,
// one at a time, as SocketConnected/SocketFailed calls on the engine.
class ProbeSockets {
 public:
  virtual ~ProbeSockets() = default;
  virtual bool Exists(int16_t index) const = 0;
  // A new element with the pattern's settings (TCP, no host, no port).
  virtual void Create(int16_t index) = 0;
  virtual void Connect(int16_t index, const std::string& host, int32_t port) = 0;
  // Connects again, keeping the host of the element's last connect.
  virtual void Reconnect(int16_t index, int32_t port) = 0;
  virtual void Close(int16_t index) = 0;
  virtual void Remove(int16_t index) = 0;
  // The port of the element's last connect.
  virtual int32_t RemotePort(int16_t index) const = 0;
  // True when a server could listen on the port: it can be bound on the wildcard addresses with
  // exclusive use. A port that refuses connections but cannot be bound is in use all the same.
  virtual bool CanListenOn(int32_t port) = 0;
};

// What the probe uses of the window.
class ProbeView {
 public:
  virtual ~ProbeView() = default;
  virtual std::string BoxText(ProbeBox box) const = 0;
  virtual void SetStatusText(const std::string& text) = 0;  // panel 1 of the status bar
  virtual void StopTimer() = 0;
  virtual void StartTimer() = 0;  // for a retry: the status shows the new scan's counter
  // The result sequence for the free port (configuration, links, marker). May throw; the window's
  // event handler reports it.
  virtual void ShowFreePort(int32_t port) = 0;
};

// The handlers of the scan window that drive the probe, with the window-level state
// lngCurrentPort, strFreePort and blnFound. Each handler may throw a Failure (an overflow when a
// box is read, a failure of the result sequence); the window reports it.
class PortProbe {
 public:
  PortProbe(ProbeSockets& sockets, ProbeView& view) : sockets_(sockets), view_(view) {}

  void FormLoad();                      // starts a scan with the boxes as they are
  void Scan();                          // cmdScan_Click
  void Stop();                          // cmdStop_Click
  void SocketConnected(int16_t index);  // wskSocket_Connect: the port is in use
  void SocketFailed(int16_t index);     // wskSocket_Error: the port is free
  void TimerTick();                     // timTimer_Timer
  // After a failed result sequence: a new scan from the lower bound, with the status timer
  // running again, whose first free port runs the result sequence once more. It is the one way a
  // later free port gets there after a failure; reports of the earlier scan's elements are not
  // taken for this scan's (the sockets drop them). Does nothing when no result sequence failed.
  // Throws, changing nothing, when a box cannot be read.
  void Retry();

  int32_t CurrentPort() const { return currentPort_; }
  const std::string& FreePort() const { return freePort_; }
  bool Found() const { return found_; }

 private:
  void ProbeNextPort(int16_t index);
  // Closes and removes every probe element this probe created, except `keep`.
  void RemoveElements(int16_t keep = 0);

  int32_t ReadLowerBound() const;
  int16_t ReadMaxConnections(const char* abandoned) const;
  double ReadUpperBound() const;

  ProbeSockets& sockets_;
  ProbeView& view_;
  int32_t currentPort_ = 0;     // lngCurrentPort
  std::string freePort_;        // strFreePort
  bool found_ = false;          // blnFound
  bool resultFailed_ = false;   // the last result sequence failed; a retry may start a new scan
  int16_t highestElement_ = 0;  // the largest index created since the last scan started
  std::string statusText_;      // the text last put into the status bar
};

}  // namespace orv
