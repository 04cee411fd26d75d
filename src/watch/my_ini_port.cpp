#include "watch/my_ini_port.h"

#include <string>
#include <vector>

#include "platform/ascii_text.h"

namespace orv {
namespace {

constexpr int32_t kDefaultDatabasePort = 3306;
// The server skips the directives of a file included this deep (warning of it) and reads on.
constexpr int kDeepestInclude = 10;
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// Option and group names as the server compares them: ASCII letters in any case, and "-" and "_"
// as one character.
char NameChar(char c) {
  return c == '_' ? '-' : AsciiLower(c);
}

bool NameIs(std::string_view name, std::string_view wanted) {
  if (name.size() != wanted.size())
    return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (NameChar(name[i]) != NameChar(wanted[i]))
      return false;
  }
  return true;
}

// The groups the server reads: [mysqld], [server], its version's group, and its service's.
bool ServerReadsGroup(std::string_view group, const ServerStart& start) {
  if (NameIs(group, "mysqld") || NameIs(group, "server"))
    return true;
  if (!start.serviceName.empty() && !NameIs(start.serviceName, "mysql") &&
      NameIs(group, start.serviceName))
    return true;
  if (start.version) {
    return NameIs(group, "mysqld-" + std::to_string(start.version->major) + "." +
                             std::to_string(start.version->minor));
  }
  constexpr std::string_view kVersionGroup = "mysqld-5.";
  return group.size() > kVersionGroup.size() &&
         NameIs(group.substr(0, kVersionGroup.size()), kVersionGroup);
}

// An option's value: a quoted one up to its closing quote, otherwise up to a "#" comment.
std::string_view ValueOf(std::string_view text) {
  text = TrimmedBlanks(text);
  if (!text.empty() && (text.front() == '"' || text.front() == '\'')) {
    const size_t close = text.find(text.front(), 1);
    if (close != std::string_view::npos)
      return TrimmedBlanks(text.substr(1, close - 1));
  }
  return TrimmedBlanks(text.substr(0, text.find('#')));
}

// A value as the server reads a path from it: the comment cut off outside quotes, blanks
// trimmed, matching quotes removed, and the server's escapes read.
std::string PathValueOf(std::string_view text) {
  char quote = 0;
  bool escaped = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if ((c == '\'' || c == '"') && !escaped) {
      if (quote == 0)
        quote = c;
      else if (quote == c)
        quote = 0;
    }
    if (quote == 0 && c == '#') {
      text = text.substr(0, i);
      break;
    }
    escaped = quote != 0 && c == '\\' && !escaped;
  }
  text = TrimmedBlanks(text);
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
      text.front() == text.back())
    text = text.substr(1, text.size() - 2);
  std::string value;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      value += text[i];
      continue;
    }
    const char next = text[++i];
    switch (next) {
      case 'n':
        value += '\n';
        break;
      case 't':
        value += '\t';
        break;
      case 'r':
        value += '\r';
        break;
      case 'b':
        value += '\b';
        break;
      case 's':
        value += ' ';
        break;
      case '"':
      case '\'':
      case '\\':
        value += next;
        break;
      default:
        value += '\\';
        value += next;
    }
  }
  return value;
}

// The port the server takes from the value: 0 is its default; nothing where it would refuse it.
std::optional<int32_t> PortNumber(std::string_view text) {
  if (text.empty() || text.size() > 5)
    return std::nullopt;
  int32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9')
      return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > 65535)
    return std::nullopt;
  return value == 0 ? kDefaultDatabasePort : value;
}

// A switch's value as the server reads it: none or a true word is on, a false word off.
std::optional<bool> SwitchValue(std::optional<std::string_view> value) {
  if (!value)
    return true;
  for (const std::string_view on : {"1", "on", "true"}) {
    if (NameIs(*value, on))
      return true;
  }
  for (const std::string_view off : {"0", "off", "false"}) {
    if (NameIs(*value, off))
      return false;
  }
  return std::nullopt;
}

bool IsAbsolute(std::string_view path) {
  const bool drive = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  return drive || path.substr(0, 2) == "\\\\";
}

// Runs of separators after the start made into one: the bundle writes its folder into this file
// with every backslash doubled.
std::string SingleSeparators(std::string_view path) {
  std::string out(path.substr(0, 2));
  for (size_t i = out.size(); i < path.size(); ++i) {
    const bool separator = path[i] == '\\' || path[i] == '/';
    if (separator && !out.empty() && (out.back() == '\\' || out.back() == '/'))
      continue;
    out += path[i];
  }
  return out;
}

// The arguments of a Windows command line as the C runtime splits them for main's argv.
std::vector<std::string> CommandLineArguments(std::string_view line) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  std::vector<std::string> arguments;
  size_t i = 0;
  while (i < line.size() && blank(line[i]))
    ++i;
  if (i == line.size())
    return arguments;
  // The program's name: up to its closing quote, or to the first blank; no escapes.
  std::string program;
  if (line[i] == '"') {
    const size_t close = line.find('"', i + 1);
    program = line.substr(i + 1, close == std::string_view::npos ? close : close - i - 1);
    i = close == std::string_view::npos ? line.size() : close + 1;
  }
  while (i < line.size() && !blank(line[i]))
    program += line[i++];
  arguments.push_back(std::move(program));
  while (true) {
    while (i < line.size() && blank(line[i]))
      ++i;
    if (i == line.size())
      return arguments;
    std::string argument;
    bool quoted = false;
    while (i < line.size() && (quoted || !blank(line[i]))) {
      size_t backslashes = 0;
      while (i < line.size() && line[i] == '\\') {
        ++backslashes;
        ++i;
      }
      if (i < line.size() && line[i] == '"') {
        // 2n backslashes and a quote: n backslashes, and the quote opens or closes a quoted
        // part; 2n+1: n backslashes and a quote that belongs to the argument.
        argument.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1)
          argument += '"';
        else
          quoted = !quoted;
        ++i;
      } else {
        argument.append(backslashes, '\\');
        if (i < line.size() && (quoted || !blank(line[i])))
          argument += line[i++];
      }
    }
    arguments.push_back(std::move(argument));
  }
}

class OptionFileReader {
 public:
  OptionFileReader(OptionIncludes& includes, const ServerStart& start)
      : includes_(includes), start_(start) {}

  void ReadFile(std::string_view bytes, int depth) {
    if (bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark)
      bytes.remove_prefix(kUtf8Mark.size());
    // The structural bytes ("[", "]", "=", "#", ";", "!", line ends) are ASCII, and where a line
    // may start (after a line end) no double-byte character can be cut; a "#" is never the
    // second byte of a character in the code pages the bundle is written in.
    bool inServerGroup = false;  // an included file starts outside any group, like the server's
    size_t start = 0;
    while (start <= bytes.size() && !unknown_) {
      size_t end = bytes.find('\n', start);
      if (end == std::string_view::npos)
        end = bytes.size();
      const std::string_view line = TrimmedBlanks(bytes.substr(start, end - start));
      start = end + 1;
      if (line.empty() || line.front() == '#' || line.front() == ';')
        continue;
      if (line.front() == '!') {
        Directive(line, depth);
      } else if (line.front() == '[') {
        const size_t close = line.find(']');
        inServerGroup = close != std::string_view::npos &&
                        ServerReadsGroup(TrimmedBlanks(line.substr(1, close - 1)), start_);
        sawServerGroup_ = sawServerGroup_ || inServerGroup;
      } else if (inServerGroup) {
        Option(line);
      }
    }
  }

  DatabaseEndpoint Endpoint() const {
    if (unknown_)
      return {DatabaseEndpoint::Kind::kUnknown};
    if (!sawServerGroup_)
      return {DatabaseEndpoint::Kind::kNoServer};
    if (noTcp_)
      return {DatabaseEndpoint::Kind::kNoTcp};
    const std::optional<int32_t> port = PortNumber(port_);
    if (!port)
      return {DatabaseEndpoint::Kind::kUnknown};
    return {DatabaseEndpoint::Kind::kTcpPort, *port};
  }

  DatabaseFileOptions FileOptions() const {
    DatabaseFileOptions options = files_;
    options.noServer = !sawServerGroup_;
    options.unknown = unknown_;
    return options;
  }

 private:
  void Option(std::string_view line) {
    const size_t equals = line.find('=');
    const std::string_view name = TrimmedBlanks(line.substr(0, equals));
    std::optional<std::string_view> value;
    if (equals != std::string_view::npos)
      value = ValueOf(line.substr(equals + 1));
    const std::string path =
        equals == std::string_view::npos ? std::string() : PathValueOf(line.substr(equals + 1));
    if (NameIs(name, "basedir")) {
      files_.baseDir = path;
    } else if (NameIs(name, "datadir")) {
      files_.dataDir = path;
    } else if (NameIs(name, "log-error")) {
      files_.logError = path;
    } else if (NameIs(name, "pid-file")) {
      files_.pidFile = path;
    } else if (NameIs(name, "console")) {
      files_.console = SwitchValue(value).value_or(true);
    }
    if (NameIs(name, "port") && value) {
      port_ = std::string(*value);
    } else if (NameIs(name, "skip-networking")) {
      const std::optional<bool> on = SwitchValue(value);
      if (on)
        noTcp_ = *on;
      else
        unknown_ = true;
    }
  }

  void Directive(std::string_view line, int depth) {
    const size_t blank = line.find_first_of(" \t");
    if (blank == std::string_view::npos)
      return;
    const std::string_view word = line.substr(0, blank);
    const bool file = NameIs(word, "!include");
    if (!file && !NameIs(word, "!includedir"))
      return;
    const std::string_view target = ValueOf(line.substr(blank));
    // The server skips directives nested too deep, with a warning, and goes on.
    if (depth >= kDeepestInclude)
      return;
    if (!IsAbsolute(target)) {
      unknown_ = true;
      return;
    }
    const std::string path = SingleSeparators(target);
    if (file) {
      Include(path, depth);
      return;
    }
    const std::optional<std::vector<std::string>> names = includes_.OptionFilesIn(path);
    if (!names) {
      unknown_ = true;
      return;
    }
    const std::string folder = path.back() == '\\' || path.back() == '/' ? path : path + "\\";
    for (const std::string& name : *names)
      Include(folder + name, depth);
  }

  // A file that cannot be opened is skipped, as the server skips it.
  void Include(const std::string& path, int depth) {
    const std::optional<std::string> bytes = includes_.Read(path);
    if (bytes)
      ReadFile(*bytes, depth + 1);
  }

  OptionIncludes& includes_;
  const ServerStart& start_;
  std::string port_ = "0";  // the server's default until a value is read
  bool noTcp_ = false;
  DatabaseFileOptions files_;
  bool sawServerGroup_ = false;
  bool unknown_ = false;
};

}  // namespace

DatabaseEndpoint DatabaseEndpointFromMyIni(std::string_view bytes, OptionIncludes& includes,
                                           const ServerStart& start) {
  OptionFileReader reader(includes, start);
  reader.ReadFile(bytes, 0);
  return reader.Endpoint();
}

DatabaseFileOptions DatabaseFileOptionsFromMyIni(std::string_view bytes, OptionIncludes& includes,
                                                 const ServerStart& start) {
  OptionFileReader reader(includes, start);
  reader.ReadFile(bytes, 0);
  return reader.FileOptions();
}

std::optional<int32_t> DatabasePortToWatch(const DatabaseEndpoint& endpoint) {
  if (endpoint.kind != DatabaseEndpoint::Kind::kTcpPort)
    return std::nullopt;
  return endpoint.port;
}

ServerCommandLine ReadServerCommandLine(std::string_view commandLine) {
  const std::vector<std::string> arguments = CommandLineArguments(commandLine);
  ServerCommandLine result;
  // The server looks for its "--defaults-..." options first, and only as long as they come.
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    constexpr std::string_view kDefaultsFile = "--defaults-file=";
    if (argument.starts_with(kDefaultsFile)) {
      if (!result.defaultsFile)
        result.defaultsFile = std::string(argument.substr(kDefaultsFile.size()));
    } else if (!argument.starts_with("--defaults-extra-file=") &&
               !argument.starts_with("--defaults-group-suffix=")) {
      break;
    }
  }
  if (arguments.size() >= 2 && !arguments.back().starts_with("-"))
    result.serviceName = arguments.back();
  return result;
}

const ServiceFacts* BundleDatabaseService(
    const std::vector<ServiceFacts>& services,
    const std::function<bool(const std::string&)>& inDatabaseFolder) {
  const ServiceFacts* found = nullptr;
  for (const ServiceFacts& service : services) {
    if (!service.insideBundle || service.binaryPath.empty())
      continue;
    const std::string_view path = service.binaryPath;
    const std::string_view name = path.substr(path.find_last_of("\\/") + 1);
    const bool serverName = name.size() >= 10 && NameIs(name.substr(0, 6), "mysqld") &&
                            NameIs(name.substr(name.size() - 4), ".exe");
    if (!serverName && !inDatabaseFolder(service.binaryPath))
      continue;
    if (service.state != kServiceStopped)
      return &service;
    if (found == nullptr)
      found = &service;
  }
  return found;
}

}  // namespace orv
