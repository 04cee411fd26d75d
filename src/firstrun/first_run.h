#pragma once
// The scan window's first run, from its load to the watch, as one sequence of decisions:
//   1. At the load (the window's FormLoad), the bundle's services are asked for, off the window's
//      thread. Where services of the bundle, of an earlier configuration, still run, nothing is
//      probed or written: a box names them and offers to run the bundle's unstall.bat as
//      administrator (Yes), or to leave the window without a result (No). After unstall.bat has
//      ended, the services are asked for again: once they are gone, the first run goes on; where
//      unstall.bat is missing, the user declined the rights, or services are still there (marked
//      for deletion, still running), a box says exactly that, names them and what is left to do,
//      and offers Retry, which asks again, and Cancel.
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

// What a box's Retry (or Yes) starts.
enum class RetryOf { kServicesCheck, kConfiguration, kUninstall };

// How the start of the bundle's unstall.bat went.
enum class UninstallStart {
  kStarted,   // it runs; the window calls FirstRun::UninstallEnded once it has ended
  kMissing,   // the bundle has no unstall.bat
  kDeclined,  // the user declined the request for administrator rights
};

// The status bar while an earlier configuration's services keep the scan from starting, and while
// the bundle's unstall.bat runs.
inline constexpr char kServicesRunningStatus[] =
    "以前的配置仍在运行，请以管理员身份运行 unstall.bat";
inline constexpr char kUninstallRunningStatus[] = "正在运行 unstall.bat，删除以前配置的服务…";

// The boxes about an earlier configuration's services that still run (`running`, named by their
// display names): the offer to remove them, and what is left to do where unstall.bat is missing,
// the request for rights was declined, or they are still there after unstall.bat.
std::string UninstallOfferText(const std::vector<ServiceFacts>& running);
std::string UninstallMissingText(const std::vector<ServiceFacts>& running);
std::string UninstallDeclinedText(const std::vector<ServiceFacts>& running);
std::string StillRunningText(const std::vector<ServiceFacts>& running);

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
  // A box with `text`, a warning icon, Yes and No. Where the user chooses Yes, the window calls
  // FirstRun::RetryChosen(RetryOf::kUninstall) once the box and its handler have returned.
  virtual void OfferUninstall(const std::string& text) = 0;
  // Starts the bundle's unstall.bat with administrator rights (as the install script is started:
  // the consent prompt where the program's own rights are not elevated, in the bundle's folder),
  // and learns off the window's thread when it has ended. Throws a Failure where it cannot be
  // started for another reason.
  virtual UninstallStart StartUninstall() = 0;
};

class FirstRun final : private ProbeView {
 public:
  FirstRun(ProbeSockets& sockets, FirstRunMachine& machine)
      : machine_(machine), probe_(sockets, *this) {}

  // The window's load: asks for the bundle's services; the probe starts once they are known.
  void FormLoad();
  void ServicesLearnt(std::vector<ServiceFacts> services);
  void RetryChosen(RetryOf what);
  // The bundle's unstall.bat has ended (or its end cannot be learnt): the services are asked for
  // again.
  void UninstallEnded();
  // The window closes: nothing more is started.
  void Close() noexcept { closed_ = true; }

  // The probe's handlers. Each may throw a Failure (a box that cannot be read); the window
  // reports it. A failed configuration is not thrown: its box is offered here.
  void Scan();
  void Stop();
  void SocketConnected(int16_t index);
  void SocketFailed(int16_t index);
  void TimerTick();

 private:
  void StartProbe();
  void Uninstall();

  // ProbeView
  std::string BoxText(ProbeBox box) const override { return machine_.BoxText(box); }
  void SetStatusText(const std::string& text) override { machine_.SetStatusText(text); }
  void StopTimer() override { machine_.StopTimer(); }
  void StartTimer() override { machine_.StartTimer(); }
  void ShowFreePort(int32_t port) override;

  FirstRunMachine& machine_;
  PortProbe probe_;
  std::vector<ServiceFacts> services_;  // as listed at the last load
  std::vector<ServiceFacts> running_;   // the bundle's services that kept it from configuring
  bool uninstallRan_ = false;           // unstall.bat ran since the services were last asked for
  bool closed_ = false;
};

}  // namespace orv
