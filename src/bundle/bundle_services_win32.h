#pragma once
// What the service control manager tells of the Win32 services on this machine, asked with the
// rights every user has (no administrator rights): each service's names, state, process and exit
// codes (EnumServicesStatusExW), and the executable of its command line (QueryServiceConfigW),
// judged by its path's identity to lie inside the bundle's servers' folder (ServersFolderOf) or
// not: a bundle unpacked to a drive root does not take every service of that drive for its own.

#include <string>
#include <vector>

#include "bundle/bundle_services.h"

namespace orv {

enum class ServiceStates {
  kAll,      // every service
  kRunning,  // those in any state but stopped
};

// The services of `states` for the bundle in `appFolder` (UTF-8, with its trailing "\"), in the
// manager's order. A service whose configuration this user may not query is kept, with an empty
// binary path, and is not the bundle's. Empty where the manager cannot be asked. Never throws.
std::vector<ServiceFacts> ListServices(const std::string& appFolder,
                                       ServiceStates states = ServiceStates::kAll) noexcept;

// StoppedServiceNote of `services` (ListServices), with the system's texts for their exit codes;
// "" where no service of the bundle is stopped. Never throws.
std::string StoppedBundleServiceNote(const std::vector<ServiceFacts>& services) noexcept;

}  // namespace orv
