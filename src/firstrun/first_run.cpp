#include "firstrun/first_run.h"

#include <utility>

#include "bundle/site_addresses.h"
#include "probe/number_reading.h"

namespace orv {
namespace {

// A failed configuration, with its remedy: its box offers Retry.
class ConfigurationFailed : public Failure {
 public:
  using Failure::Failure;
};

}  // namespace

SiteLinks LinksForPort(int32_t port) {
  SiteLinks links;
  links.portCaption = std::string(kFoundPortCaption) + std::to_string(port);
  links.qornTag = SiteAddress(SiteLink::kQorn, port);
  links.qornCaption = SiteCaption(SiteLink::kQorn, port);
  links.zelTag = SiteAddress(SiteLink::kZel, port);
  links.zelCaption = SiteCaption(SiteLink::kZel, port);
  return links;
}

void FirstRun::FormLoad() {
  if (closed_)
    return;
  if (!machine_.AskServices())
    StartProbe();  // without the services, the first run goes on as it always did
}

void FirstRun::ServicesLearnt(std::vector<ServiceFacts> services) {
  if (closed_)
    return;
  services_ = std::move(services);
  const std::vector<ServiceFacts> running = RunningBundleServices(services_);
  if (running.empty()) {
    StartProbe();
    return;
  }
  machine_.StopTimer();
  machine_.SetStatusText(kServicesRunningStatus);
  machine_.OfferRetry(RunningServicesText(running), RetryOf::kServicesCheck);
}

void FirstRun::RetryChosen(RetryOf what) {
  if (closed_)
    return;
  if (what == RetryOf::kServicesCheck)
    FormLoad();
  else
    probe_.Retry();
}

void FirstRun::StartProbe() {
  machine_.StartTimer();
  probe_.FormLoad();
}

void FirstRun::Scan() {
  probe_.Scan();
}

void FirstRun::Stop() {
  probe_.Stop();
}

void FirstRun::SocketConnected(int16_t index) {
  probe_.SocketConnected(index);
}

void FirstRun::SocketFailed(int16_t index) {
  try {
    probe_.SocketFailed(index);
  } catch (const ConfigurationFailed& failure) {
    // The probe knows that its result failed, and scans again on Retry.
    machine_.OfferRetry(failure.what(), RetryOf::kConfiguration);
  }
}

void FirstRun::TimerTick() {
  probe_.TimerTick();
}

void FirstRun::ShowFreePort(int32_t port) {
  WatchFacts facts;
  try {
    facts = machine_.Configure(port, services_);
  } catch (const Failure& failure) {
    // The user learns that the bundle is not configured yet, why, and what to do about it.
    std::string message =
        "未能完成配置（端口 " + std::to_string(port) + "）。\n\n" + failure.what();
    const std::string remedy = machine_.RemedyFor(failure);
    if (!remedy.empty())
      message += "\n\n" + remedy;
    throw ConfigurationFailed(message);
  }
  machine_.ShowLinks(LinksForPort(port));
  machine_.WriteFinishMarker();
  // The label's text is fixed; where the port found is not the lower bound, its tooltip says who
  // holds the lower bound. A box that cannot be read now names nothing.
  const std::optional<int32_t> lowerBound = ReadInt32(machine_.BoxText(ProbeBox::kLowerBound));
  machine_.ShowLowerBoundTaken(lowerBound && *lowerBound != port ? *lowerBound : 0);
  facts.sitePort = port;
  machine_.StartWatch(facts);
}

}  // namespace orv
