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

// The services named as the user sees them: “A”、“B”.
std::string Names(const std::vector<ServiceFacts>& services) {
  std::string names;
  for (const ServiceFacts& service : services)
    names += (names.empty() ? "“" : "、“") + ServiceTitle(service) + "”";
  return names;
}

constexpr char kWhatIsLeft[] =
    "请在“服务”管理工具（services.msc）中停止这些服务，或者重新启动 Windows，然后点击“重试”。";

}  // namespace

std::string UninstallOfferText(const std::vector<ServiceFacts>& running) {
  return "本系统以前的配置仍在运行：服务" + Names(running) +
         "尚未停止。为免覆盖正在使用的配置，本程序还没有写入任何文件。\n\n"
         "是否现在以管理员身份运行 unstall.bat，停止并删除这些服务，然后重新配置？\n"
         "点击“是”后，Windows 会请求管理员权限。";
}

std::string UninstallMissingText(const std::vector<ServiceFacts>& running) {
  return "本系统文件夹中没有 unstall.bat，无法删除以前配置的服务" + Names(running) + "。\n\n" +
         kWhatIsLeft;
}

std::string UninstallDeclinedText(const std::vector<ServiceFacts>& running) {
  return "没有获得管理员权限，unstall.bat 没有运行，服务" + Names(running) +
         "仍在运行。\n\n如需重新配置，请点击“重试”，并在 Windows 请求权限时点击“是”。";
}

std::string StillRunningText(const std::vector<ServiceFacts>& running) {
  return "unstall.bat 已运行，但服务" + Names(running) +
         "仍在运行或已标记为删除（它们在停止后才会被删除）。\n\n" + kWhatIsLeft;
}

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
  running_ = running;
  if (std::exchange(uninstallRan_, false)) {
    machine_.OfferRetry(StillRunningText(running), RetryOf::kServicesCheck);
    return;
  }
  machine_.OfferUninstall(UninstallOfferText(running));
}

void FirstRun::Uninstall() {
  UninstallStart started = UninstallStart::kMissing;
  try {
    started = machine_.StartUninstall();
  } catch (const Failure& failure) {
    machine_.OfferRetry(std::string(failure.what()) + "\n\n" + kWhatIsLeft,
                        RetryOf::kServicesCheck);
    return;
  }
  switch (started) {
    case UninstallStart::kStarted:
      uninstallRan_ = true;
      machine_.SetStatusText(kUninstallRunningStatus);
      break;
    case UninstallStart::kMissing:
      machine_.OfferRetry(UninstallMissingText(running_), RetryOf::kServicesCheck);
      break;
    case UninstallStart::kDeclined:
      machine_.OfferRetry(UninstallDeclinedText(running_), RetryOf::kServicesCheck);
      break;
  }
}

void FirstRun::UninstallEnded() {
  if (!closed_ && uninstallRan_)
    FormLoad();
}

void FirstRun::RetryChosen(RetryOf what) {
  if (closed_)
    return;
  switch (what) {
    case RetryOf::kServicesCheck:
      FormLoad();
      break;
    case RetryOf::kUninstall:
      Uninstall();
      break;
    case RetryOf::kConfiguration:
      probe_.Retry();
      break;
  }
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
