#pragma once
// Whether the program runs with administrator rights in effect.

namespace orv {

// True when the process's token is elevated: on Windows with UAC, only when the program was
// started "as administrator" (or by an elevated process); a member of the Administrators group
// runs with a filtered, non-elevated token otherwise. Throws a Failure with the system's error
// text when the token cannot be queried.
bool ProcessIsElevated();

}  // namespace orv
