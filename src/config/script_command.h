#pragma once
// The command line that runs a batch script through the system's command processor.

#include <string>
#include <string_view>

namespace orv {

// `"<cmdExe>" /d /v:off /s /c ""<script>""`: no AutoRun commands, no delayed expansion, and with
// /s the processor removes only the outer pair of quotes, so the script's own quotes keep spaces,
// "&", "^", "(" and ")" in its path literal. Throws a Failure for a path that cannot be passed
// safely: one holding "%" (expanded by the processor even inside quotes), a double quote, or a
// line end.
std::string ScriptCommandLine(std::string_view cmdExe, std::string_view script);

// The same line without the processor's own name, for a start that takes the program and its
// arguments apart: `/d /v:off /s /c ""<script>""`. Throws as ScriptCommandLine does.
std::string ScriptArguments(std::string_view script);

}  // namespace orv
