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

// The arguments for a start that may not begin in the folder it is given (the system may start an
// elevated system program in the system folder whatever the directory argument says): the change
// to `folder` is part of the command, `/d /v:off /s /c "cd /d "<folder>" & "<script>""`, so the
// script runs there as after a plain start. "&" runs the script even when the folder cannot be
// entered. A folder that cannot be passed safely (empty, or holding "%", a double quote or a line
// end) is left out, and the script runs wherever the system starts it. Throws as
// ScriptCommandLine does for the script's path.
std::string ScriptArgumentsIn(std::string_view folder, std::string_view script);

// The folder a script runs in: its own (the part of `script` before its last separator, without
// the separators that end it; a drive's root keeps its "\"). The bundle's scripts are written for
// their own folder, whatever folder the program was started in.
std::string ScriptFolder(std::string_view script);

}  // namespace orv
