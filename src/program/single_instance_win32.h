#pragma once
// One configuration per bundle at a time. The configurators started from one bundle's folder share
// a named mutex: the first one holds it until it ends, and a later one only brings the first one's
// window to the front. Configurators of different bundles do not meet.

#include <string>

#include "platform/unique_handle_win32.h"

namespace orv {

// The mutex name of the bundle in `appFolder` (UTF-8, with its trailing "\"): the folder's identity
// (path_identity_win32.h: its final path, so that a start through an 8.3 short name, a junction, a
// symbolic link or another drive letter for the same folder meets the others; upper-cased by the
// file system's rules), made into an InstanceName. The instance's window carries it as a property
// too.
std::wstring InstanceNameOf(const std::string& appFolder);

class SingleInstance {
 public:
  // Takes the bundle's mutex unless another running instance holds it. A mutex left behind by an
  // instance that ended without releasing it (a crash) is taken over. A mutex that exists but may
  // not be opened belongs to an instance running with other rights, and counts as held. Throws a
  // Failure with the system's error text when the mutex can be neither created nor opened for
  // another reason.
  explicit SingleInstance(const std::string& appFolder);

  // True when this instance holds the mutex; it does so until the object is destroyed, which must
  // happen on the thread that created it.
  bool owned() const noexcept { return mutex_.valid(); }
  // The bundle's name, InstanceNameOf(appFolder), which the first instance's window carries.
  const std::wstring& name() const noexcept { return name_; }

 private:
  std::wstring name_;
  UniqueHeldMutex mutex_;
};

// Waits up to `timeoutMs` for a visible top-level window of the class `windowClass`, of another
// process, that carries the property `instanceName` (SingleInstance::name); restores it if it is
// minimized, and brings it (or the message box it shows) to the front. The instance holding the
// mutex may not have created its window yet, hence the wait. Returns false when no such window
// appeared in time.
bool ActivateOtherInstance(const std::wstring& instanceName, const wchar_t* windowClass,
                           DWORD timeoutMs);

}  // namespace orv
