#pragma once
// The name under which the running instances of one bundle's configurator find each other.

#include <string>
#include <string_view>

namespace orv {

// "Local\Orvandimex-" and 16 hexadecimal digits: the 64-bit FNV-1a hash of the application folder
// as UTF-16 code units (each as two bytes, low byte first). The caller gives the folder's identity
// (path_identity.h), upper-cased as the system compares names, so that every spelling of one
// folder gives one name. The folder itself does not appear: it may be longer than a name may be,
// and hold "\", which a name of the session's namespace may not.
std::string InstanceName(std::u16string_view upperCaseFolder);

}  // namespace orv
