#pragma once
// The scan window's first run, from its load to the watch, as one sequence of decisions:
//   1. At the load (the window's FormLoad), the bundle's services are asked for, off the window's
//      thread. Where services of the bundle, of an earlier configuration, still run, nothing is
//      probed or written: a box names them and offers Retry, which asks again, and Cancel, which
//      leaves the window without a result.
//   2. Otherwise the probe (PortProbe) searches for the first free port from the lower bound.
//   3. With that port: configure the bundle (its files, then the install script, with what is
//      known just before the script), then the port and the two links, then the completion marker,
//      then, where the port found is not the lower bound, who holds the lower bound, then the
//      watch of the bundle coming up.
//   4. A failed configuration: its box says why and what to do (the remedy) and offers Retry,
//      which scans again from the lower bound; the links and the marker wait for a success.
//   5. Once the window closes, nothing more happens.
// The machine and the window are behind FirstRunMachine, so that every branch can be played
// against a fake. The probe's handlers keep the names of the window's events (FormLoad,
// cmdScan_Click as Scan, wskSocket_Connect as SocketConnected, ...); lngCurrentPort, strFreePort
// and blnFound are the probe's.

#include <cstdint>
#include <string>
#include <vector>

#include "bundle/bundle_services.h"
#include "platform/failure.h"
#include "probe/port_probe.h"
#include "watch/site_watch.h"

namespace orv {

// The texts the window shows once the port is found.
struct SiteLinks {
  std::string portCaption;  // lblPort
  std::string qornCaption;  // lblQorn
  std::string qornTag;      // the address a click on lblQorn opens
  std::string zelCaption;   // lblZel
  std::string zelTag;
};
SiteLinks LinksForPort(int32_t port);

// What a box's Retry starts again.
enum class RetryOf { kServicesCheck, kConfiguration };

// The status bar while an earlier configuration's services keep the scan from starting.
inline constexpr char kServicesRunningStatus[] =
    "以前的配置仍在运行，请以管理员身份运行 unstall.bat";

// What the first run uses of the machine and the window.
class FirstRunMachine {
 public:
  virtual ~FirstRunMachine() = default;
  // The window as the probe sees it: the hidden boxes, the status bar, the status timer.
  virtual std::string BoxText(ProbeBox box) const = 0;
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void StartTimer() = 0;
  virtual void StopTimer() = 0;
  // Starts listing the services off the window's thread; their list comes back through
  // FirstRun::ServicesLearnt. False where that cannot be started: the run goes on without them.
  virtual bool AskServices() = 0;
  // Writes the bundle's files for `port` and starts the install script; what is known just before
  // the script (the database's port, read as the bundle's database service among `services` reads
  // it, and whether it was taken) comes back. Throws a Failure; files written stay written.
  virtual WatchFacts Configure(int32_t port, const std::vector<ServiceFacts>& services) = 0;
  // What the user can do about a failed configuration; "" where nothing. Never throws.
  virtual std::string RemedyFor(const Failure& failure) = 0;
  // Enables and shows both link labels, then sets the port caption, then caption and tag of each.
  virtual void ShowLinks(const SiteLinks& links) = 0;
  // Creates or overwrites the completion marker; its failures are swallowed.
  virtual void WriteFinishMarker() = 0;
  // The port label's tooltip names who holds `lowerBound` (asked when it first shows); 0 where the
  // lower bound itself was found, and the tooltip names nothing.
  virtual void ShowLowerBoundTaken(int32_t lowerBound) = 0;
  // The watch of the bundle coming up, from now on.
  virtual void StartWatch(const WatchFacts& facts) = 0;
  // A box with `text`, an error icon, Retry and Cancel. Where the user chooses Retry, the window
  // calls FirstRun::RetryChosen(what) once the box and the handler that showed it have returned.
  virtual void OfferRetry(const std::string& text, RetryOf what) = 0;
};

class FirstRun final : private ProbeView {
 public:
  FirstRun(ProbeSockets& sockets, FirstRunMachine& machine)
      : machine_(machine), probe_(sockets, *this) {}

  // The window's load: asks for the bundle's services; the probe starts once they are known.
  void FormLoad();
  void ServicesLearnt(std::vector<ServiceFacts> services);
  void RetryChosen(RetryOf what);
  // The window closes: nothing more is started.
  void Close() noexcept { closed_ = true; }

  // The probe's handlers. Each may throw a Failure (a box that cannot be read); the window
  // reports it. A failed configuration is not thrown: its box is offered here.
  void Scan();
  void Stop();
  void SocketConnected(int16_t index);
  void SocketFailed(int16_t index);
  void TimerTick();

  const PortProbe& Probe() const { return probe_; }

 private:
  void StartProbe();
  void Retry();

  // ProbeView
  std::string BoxText(ProbeBox box) const override { return machine_.BoxText(box); }
  void SetStatusText(const std::string& text) override { machine_.SetStatusText(text); }
  void StopTimer() override { machine_.StopTimer(); }
  void StartTimer() override { machine_.StartTimer(); }
  void ShowFreePort(int32_t port) override;

  FirstRunMachine& machine_;
  PortProbe probe_;
  std::vector<ServiceFacts> services_;  // as listed at the last load
  bool closed_ = false;
};

}  // namespace orv
