#pragma once
// The remedy for a failed configuration, with the facts gathered from the machine.

#include <string>
#include <string_view>

#include "platform/failure.h"

namespace orv {

// The sentence that tells the user what to do about `failure` of configuring the bundle in
// `appFolder` (UTF-8, with its trailing "\"), or empty when there is none. Looks at the machine
// as it is now: whether the template folder exists, and, for a file that could not be opened or
// replaced, whether another program holds it and which. Never throws.
std::string RemedyFor(const Failure& failure, std::string_view appFolder) noexcept;

}  // namespace orv
