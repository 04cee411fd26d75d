#pragma once
// The template engine: turns the seven templates of the bundle's TempFiles2 folder into its
// configuration files and scripts for one folder and port, then starts the generated install
// script. It reaches the machine only through BundleMachine, so that the order of its reads,
// writes and the start, and what a failure leaves behind, are the same with real files and fakes.

#include <string>
#include <string_view>
#include <vector>

#include "configure/placeholder.h"

namespace orv {

// The machine as the engine uses it. Paths are UTF-8 and are passed on exactly as built: the
// application folder followed by a literal that starts with "\", so a doubled separator is kept.
class BundleMachine {
 public:
  virtual ~BundleMachine() = default;
  // The file's bytes, unchanged. Throws when the file cannot be read.
  virtual std::string ReadFileBytes(const std::string& path) = 0;
  // Replaces the file's content with `bytes`. Throws when it cannot; the file is then untouched.
  virtual void ReplaceFileBytes(const std::string& path, std::string_view bytes) = 0;
  // True when the program runs with an elevated token (administrator rights in effect).
  virtual bool ProcessIsElevated() = 0;
  // Starts the batch script at `scriptPath` minimized, without waiting, with the program's own
  // rights. Throws when it cannot.
  virtual void StartScript(const std::string& scriptPath) = 0;
  // The same, but asks the system to run the script with administrator rights (the user is asked
  // for consent or for an administrator's password). Returns false when that request was
  // declined; throws when the script cannot be started for another reason.
  virtual bool StartScriptAsAdministrator(const std::string& scriptPath) = 0;
};

// Where the bundle is. `folder` is the application folder with exactly one trailing "\", as a
// UTF-8 path; `folderText` is the same folder in the ANSI code page, as it goes into the
// configuration files; `scriptFolderText` the same in the OEM code page, in which the command
// processor reads batch scripts (the same bytes where the two code pages are one).
struct BundleFolder {
  std::string folder;
  std::string folderText;
  std::string scriptFolderText;
};

// Which text, if any, replaces "[xpath]" in a template.
enum class XpathText {
  kNone,
  kFile,        // folderText
  kScript,      // scriptFolderText: a batch script
  kOptionFile,  // folderText with every backslash doubled: the database server's option file
};

struct Template {
  std::string_view name;    // in the template folder; a trailing blank is not part of the file name
  std::string_view output;  // after the application folder
  XpathText xpath;          // "[xpath]"
  bool replacesPort;        // "[port]"
  bool replacesPort2;       // "[port2]"
};

// The seven templates, in the order in which they are read.
const std::vector<Template>& Templates();

// The template folder: the application folder followed by "\TempFiles2\".
std::string TemplateFolderPath(std::string_view folder);

// The template's path: the application folder, "\TempFiles2\", and the name without trailing
// blanks (the system drops them, and so does this, explicitly).
std::string TemplatePath(std::string_view folder, const Template& entry);

// The output's path: the application folder followed by the output literal.
std::string OutputPath(std::string_view folder, const Template& entry);

// The database server's option file written into the bundle (my.ini), whose port the watch reads.
std::string DatabaseOptionFilePath(std::string_view folder);

// The script written into the bundle that stops and removes its services (unstall.bat).
std::string UninstallScriptPath(std::string_view folder);

// Reads the seven templates in table order, replaces the placeholders ("[xpath]" first, then
// "[port]" in httpd.conf, then "[port2]", which is the port's suffix of the sites' addresses:
// empty for 80, ":81" for 81), writes the outputs in the order install.bat,
// unstall.bat, StartQorn.bat, StartZel.bat, php.ini, httpd.conf, my.ini, and starts the generated
// install script. The script registers the bundle's services and so needs administrator rights:
// it is started with the program's rights when they are elevated, and through the request for
// administrator rights otherwise. The first failure stops it: templates read before it were only
// read, outputs written before it stay written, and the script is started only when every output
// was written; a declined request for rights is such a failure. A folder that the command
// processor cannot be given safely, or that holds a double-byte character whose second byte is a
// backslash (which the configuration readers would take as one), is refused before anything is
// read.
void ConfigureBundle(const BundleFolder& where, int32_t port, const LeadBytes& leads,
                     BundleMachine& machine);

}  // namespace orv
