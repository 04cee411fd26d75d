#include "watch/server_logs.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "platform/ascii_text.h"

namespace orv {
namespace {

// ---- paths ----------------------------------------------------------------------------------

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

bool HasDrive(std::string_view path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

// "C:\..." or "\\server\share\...".
bool IsFullPath(std::string_view path) {
  return (HasDrive(path) && path.size() >= 3 && IsSeparator(path[2])) ||
         (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]));
}

// `path` with "\" separators, runs of them made one (a UNC path keeps its two), and "." and ".."
// names resolved. Works on bytes: the structural bytes are ASCII, and a folder whose double-byte
// characters end in a backslash byte is refused before the bundle is configured.
std::string Normalized(std::string_view path) {
  std::string root;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    root = "\\\\";
    path.remove_prefix(2);
  } else if (HasDrive(path)) {
    root = std::string(path.substr(0, 2)) + "\\";
    path.remove_prefix(2);
  }
  std::vector<std::string_view> names;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end]))
      ++end;
    const std::string_view name = path.substr(start, end - start);
    if (name == "..") {
      if (!names.empty())
        names.pop_back();
    } else if (!name.empty() && name != ".") {
      names.push_back(name);
    }
    start = end + 1;
  }
  std::string out = root;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0)
      out += '\\';
    out += names[i];
  }
  return out;
}

// `path` taken inside `folder` (a full path) unless it is full itself; a path from the root of a
// drive ("\x") takes the folder's drive.
std::string Resolved(std::string_view folder, std::string_view path) {
  if (IsFullPath(path))
    return Normalized(path);
  if (!path.empty() && IsSeparator(path[0]) && HasDrive(folder))
    return Normalized(std::string(folder.substr(0, 2)) + std::string(path));
  return Normalized(std::string(folder) + "\\" + std::string(path));
}

// The folder that holds `path` ("" where it has none).
std::string_view ParentOf(std::string_view path) {
  while (!path.empty() && IsSeparator(path.back()))
    path.remove_suffix(1);
  const size_t last = path.find_last_of("\\/");
  return last == std::string_view::npos ? std::string_view() : path.substr(0, last);
}

std::string_view FileNameOf(std::string_view path) {
  const size_t last = path.find_last_of("\\/");
  return last == std::string_view::npos ? path : path.substr(last + 1);
}

// ---- the web server's configuration ---------------------------------------------------------

// A directive's first argument as the web server reads it: in double or single quotes (a quote
// escaped with "\" belongs to it), or up to the next blank.
std::string FirstArgument(std::string_view text) {
  text = TrimmedBlanks(text);
  if (text.empty())
    return {};
  const char quote = text.front();
  if (quote != '"' && quote != '\'')
    return std::string(text.substr(0, text.find_first_of(" \t")));
  std::string argument;
  for (size_t i = 1; i < text.size() && text[i] != quote; ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == quote)
      ++i;
    argument += text[i];
  }
  return argument;
}

// ---- log lines ------------------------------------------------------------------------------

int64_t DaysFromCivil(int year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

int64_t SecondsOf(const CivilTime& t) {
  return DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

// A line's time stamp: seconds of its civil time, and whether that time is UTC.
struct Stamp {
  int64_t seconds = 0;
  bool utc = false;
};

// What the front of a line says, in any of the formats read.
struct LineHead {
  std::optional<Stamp> stamp;
  std::string severity;  // lower case ("error", "warning", "note", "crit", ...); "" where none
  size_t messageStart = 0;
};

class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  // `count` digits (a leading blank counts as 0 where `blankPadded`).
  std::optional<int> Digits(size_t count, bool blankPadded = false) {
    if (pos_ + count > text_.size())
      return std::nullopt;
    int value = 0;
    for (size_t i = 0; i < count; ++i) {
      const char c = text_[pos_ + i];
      if (c == ' ' && blankPadded && i + 1 < count && value == 0)
        continue;
      if (c < '0' || c > '9')
        return std::nullopt;
      value = value * 10 + (c - '0');
    }
    pos_ += count;
    return value;
  }
  bool Take(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool TakeWord(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word)
      return false;
    pos_ += word.size();
    return true;
  }
  // Characters up to (not including) `end`; nothing where `end` does not follow.
  std::optional<std::string_view> Until(char end) {
    const size_t found = text_.find(end, pos_);
    if (found == std::string_view::npos)
      return std::nullopt;
    const std::string_view part = text_.substr(pos_, found - pos_);
    pos_ = found;
    return part;
  }
  void SkipBlanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t'))
      ++pos_;
  }
  // "HH:MM:SS" (the hour padded by a blank where `blankPaddedHour`) into `t`.
  bool Clock(CivilTime& t, bool blankPaddedHour = false) {
    const auto hour = Digits(2, blankPaddedHour);
    if (!hour || !Take(':'))
      return false;
    const auto minute = Digits(2);
    if (!minute || !Take(':'))
      return false;
    const auto second = Digits(2);
    if (!second)
      return false;
    t.hour = *hour;
    t.minute = *minute;
    t.second = *second;
    return true;
  }
  // A second's fraction (".uuuuuu"), where one follows.
  void SkipFraction() {
    if (!Take('.'))
      return;
    while (!AtEnd() && Peek() >= '0' && Peek() <= '9')
      ++pos_;
  }
  size_t Position() const { return pos_; }
  void Seek(size_t pos) { pos_ = pos; }
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

bool ValidTime(const CivilTime& t) {
  return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 && t.hour <= 23 &&
         t.minute <= 59 && t.second <= 60;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = AsciiLower(c);
  return out;
}

// "[ERROR]", "[Warning]", "[Note]" after a stamp (and a thread number in 5.6 and 5.7).
void ReadDatabaseSeverity(Cursor& at, LineHead& head) {
  at.SkipBlanks();
  const size_t before = at.Position();
  if (at.Take('[')) {
    const std::optional<std::string_view> word = at.Until(']');
    if (word && word->size() <= 16) {
      at.Take(']');
      head.severity = Lower(*word);
      at.SkipBlanks();
      return;
    }
  }
  at.Seek(before);
}

// 5.0, 5.1 and 5.5: "YYMMDD HH:MM:SS" with the hour padded by a blank ("091118  9:05:01"); the
// storage engine writes the same stamp and two blanks before "InnoDB:".
std::optional<LineHead> ShortDatabaseStamp(std::string_view line) {
  Cursor at(line);
  CivilTime t;
  const auto year = at.Digits(2);
  const auto month = at.Digits(2);
  const auto day = at.Digits(2);
  if (!year || !month || !day || !at.Take(' ') || !at.Clock(t, true) ||
      (!at.AtEnd() && at.Peek() != ' '))
    return std::nullopt;
  t.year = 2000 + *year;
  t.month = *month;
  t.day = *day;
  if (!ValidTime(t))
    return std::nullopt;
  LineHead head;
  head.stamp = Stamp{SecondsOf(t), false};
  ReadDatabaseSeverity(at, head);
  at.SkipBlanks();
  head.messageStart = at.Position();
  return head;
}

// 5.6: "YYYY-MM-DD HH:MM:SS THREAD [ERROR]" in local time; 5.7: "YYYY-MM-DDTHH:MM:SS.uuuuuuZ
// THREAD [ERROR]" in UTC, or with "+hh:mm"/"-hh:mm" (log_timestamps=SYSTEM).
std::optional<LineHead> LongDatabaseStamp(std::string_view line) {
  Cursor at(line);
  const auto year = at.Digits(4);
  if (!year || !at.Take('-'))
    return std::nullopt;
  const auto month = at.Digits(2);
  if (!month || !at.Take('-'))
    return std::nullopt;
  const auto day = at.Digits(2);
  if (!day)
    return std::nullopt;
  const bool iso = at.Take('T');
  CivilTime t{*year, *month, *day};
  if ((!iso && !at.Take(' ')) || !at.Clock(t) || !ValidTime(t))
    return std::nullopt;
  Stamp stamp{SecondsOf(t), false};
  if (iso) {
    at.SkipFraction();
    if (at.Take('Z')) {
      stamp.utc = true;
    } else if (at.Peek() == '+' || at.Peek() == '-') {
      const int sign = at.Take('-') ? -1 : (at.Take('+'), 1);
      const auto offsetHours = at.Digits(2);
      if (!offsetHours || !at.Take(':'))
        return std::nullopt;
      const auto offsetMinutes = at.Digits(2);
      if (!offsetMinutes)
        return std::nullopt;
      stamp.seconds -= sign * (*offsetHours * 3600 + *offsetMinutes * 60);
      stamp.utc = true;
    } else {
      return std::nullopt;
    }
  }
  if (!at.AtEnd() && at.Peek() != ' ')
    return std::nullopt;
  LineHead head;
  head.stamp = stamp;
  at.SkipBlanks();
  // The thread's number (decimal, or hexadecimal in the storage engine's own lines).
  const size_t before = at.Position();
  size_t digits = 0;
  while (!at.AtEnd() && std::isxdigit(static_cast<unsigned char>(at.Peek())) != 0) {
    at.Seek(at.Position() + 1);
    ++digits;
  }
  if (digits == 0 || (!at.AtEnd() && at.Peek() != ' '))
    at.Seek(before);
  ReadDatabaseSeverity(at, head);
  at.SkipBlanks();
  head.messageStart = at.Position();
  return head;
}

// 2.2: "[Wed Oct 11 14:32:52 2000] [error] [client 1.2.3.4] ..."; 2.4: "[Wed Oct 11
// 14:32:52.123456 2000] [core:error] [pid 1234:tid 5678] (OS 10048)...: AH00072: ...". Local time.
std::optional<LineHead> WebStamp(std::string_view line) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  Cursor at(line);
  if (!at.Take('[') || line.size() < 25)
    return std::nullopt;
  at.Seek(at.Position() + 3);  // the weekday
  if (!at.Take(' '))
    return std::nullopt;
  int month = 0;
  for (size_t m = 0; m < kMonths.size() && month == 0; ++m) {
    if (at.TakeWord(kMonths[m]))
      month = static_cast<int>(m) + 1;
  }
  if (month == 0)
    return std::nullopt;
  at.SkipBlanks();
  std::optional<int> day = at.Digits(2);
  if (!day)
    day = at.Digits(1);
  CivilTime t{0, month, day.value_or(0)};
  if (!day || !at.Take(' ') || !at.Clock(t))
    return std::nullopt;
  at.SkipFraction();
  if (!at.Take(' '))
    return std::nullopt;
  const auto year = at.Digits(4);
  if (!year || !at.Take(']'))
    return std::nullopt;
  t.year = *year;
  if (!ValidTime(t))
    return std::nullopt;
  LineHead head;
  head.stamp = Stamp{SecondsOf(t), false};
  // The bracketed fields after the stamp: the level ("error", or "module:error" in 2.4), then
  // "[pid ...]" and "[client ...]".
  for (bool first = true;; first = false) {
    at.SkipBlanks();
    const size_t before = at.Position();
    if (!at.Take('['))
      break;
    const std::optional<std::string_view> field = at.Until(']');
    if (!field || field->size() > 64) {
      at.Seek(before);
      break;
    }
    at.Take(']');
    if (first) {
      const size_t colon = field->rfind(':');
      head.severity = Lower(colon == std::string_view::npos ? *field : field->substr(colon + 1));
    } else if (!field->starts_with("pid ") && !field->starts_with("client ") &&
               !field->starts_with("remote ")) {
      at.Seek(before);
      break;
    }
  }
  at.SkipBlanks();
  head.messageStart = at.Position();
  return head;
}

LineHead HeadOf(std::string_view line) {
  if (auto head = ShortDatabaseStamp(line))
    return *head;
  if (auto head = LongDatabaseStamp(line))
    return *head;
  if (auto head = WebStamp(line))
    return *head;
  return {};
}

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
  if (part.size() > text.size())
    return false;
  for (size_t i = 0; i + part.size() <= text.size(); ++i) {
    if (EqualsIgnoringAsciiCase(text.substr(i, part.size()), part))
      return true;
  }
  return false;
}

// `word` (or its plural) as a word of its own: "port" in "port: 3306", not in "support" nor in
// "max_open_files".
bool ContainsWord(std::string_view text, std::string_view word) {
  const auto wordChar = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
  };
  for (size_t i = 0; i + word.size() <= text.size(); ++i) {
    if (!EqualsIgnoringAsciiCase(text.substr(i, word.size()), word) ||
        (i > 0 && wordChar(text[i - 1])))
      continue;
    size_t after = i + word.size();
    if (after < text.size() && AsciiLower(text[after]) == 's')
      ++after;
    if (after == text.size() || !wordChar(text[after]))
      return true;
  }
  return false;
}

// What the servers write when they cannot start, the most telling first.
constexpr std::array<std::string_view, 17> kCauses = {
    "Can't start server: Bind on TCP/IP port",
    "Do you already have another mysqld server running on port",
    "make_sock: could not bind to address",
    "Syntax error on line",
    "Cannot load",
    "Operating system error number",
    "Unable to lock",
    "no listening sockets available",
    "Can't open and lock privilege tables",
    "Can't find file",
    "Can't create/write to file",
    "Fatal error",
    "could not open",
    "Could not open",
    "Unable to open",
    "Invalid command",
    "Can't start server",
};

// Lines that a server writes at every start or stop, and headers that say nothing by themselves.
constexpr std::array<std::string_view, 18> kBanners = {
    "ready for connections",
    "Version: '",
    "Server hostname (bind-address)",
    "Server socket created on IP",
    "IPv6 is available",
    "resuming normal operations",
    "Server built:",
    "Parent: Created child process",
    "Child: Starting",
    "Command line:",
    "starting as process",
    "Shutdown complete",
    "Normal shutdown",
    "reported the following error:",
    "are described at",
    "http://",
    "https://",
    "Basedir set to",
};

// Words of a line without a severity that say something failed.
constexpr std::array<std::string_view, 9> kErrorWords = {
    "error", "can't", "cannot", "unable", "failed", "fatal", "could not", "denied", "abort"};

bool IsQuietSeverity(std::string_view severity) {
  return severity == "note" || severity == "notice" || severity == "info" || severity == "debug" ||
         severity.starts_with("trace") || severity == "system";
}

bool IsErrorSeverity(std::string_view severity) {
  return severity == "error" || severity == "crit" || severity == "alert" || severity == "emerg";
}

// A port ("port: 3306", "port 80", an address "0.0.0.0:80" or "[::]:80"), a file (a path with a
// separator, or a name with a known extension) or a module.
bool NamesPortFileOrModule(std::string_view message) {
  for (const std::string_view word : {"port", "file", "module", "plugin"}) {
    if (ContainsWord(message, word))
      return true;
  }
  if (ContainsIgnoringCase(message, "ibdata") || ContainsIgnoringCase(message, "ib_logfile"))
    return true;
  for (size_t i = 1; i + 1 < message.size(); ++i) {
    const char c = message[i];
    const bool digitAround =
        std::isdigit(static_cast<unsigned char>(message[i + 1])) != 0 &&
        (std::isdigit(static_cast<unsigned char>(message[i - 1])) != 0 || message[i - 1] == ']');
    if (c == ':' && digitAround)
      return true;  // an address with its port
    const bool nameAround = std::isalnum(static_cast<unsigned char>(message[i + 1])) != 0 ||
                            message[i + 1] == '.' || message[i + 1] == '_';
    if (IsSeparator(c) && nameAround && message[i - 1] != ' ')
      return true;  // a path
  }
  for (const std::string_view extension :
       {".conf", ".ini", ".cnf", ".err", ".pid", ".log", ".so", ".dll", ".exe", ".frm", ".MYI"}) {
    if (ContainsIgnoringCase(message, extension))
      return true;
  }
  return false;
}

// How telling a line is: 0 drops it; 1 names a port, a file or a module; 2 an error; 3 and up a
// known cause (the more telling, the higher); an error that only says the server ends is 2 too
// but loses to every other error as the cause (below).
int Weight(std::string_view message, std::string_view severity) {
  if (message.empty())
    return 0;
  for (size_t i = 0; i < kCauses.size(); ++i) {
    if (Contains(message, kCauses[i]))
      return static_cast<int>(3 + kCauses.size() - i);
  }
  if (IsQuietSeverity(severity))
    return 0;
  for (const std::string_view banner : kBanners) {
    if (Contains(message, banner))
      return 0;
  }
  if (IsErrorSeverity(severity))
    return 2;
  if (severity.empty()) {
    for (const std::string_view word : kErrorWords) {
      if (ContainsIgnoringCase(message, word))
        return 2;
    }
  }
  return NamesPortFileOrModule(message) ? 1 : 0;
}

// Where the known cause that `message` names starts in it: "make_sock: ..." in "(OS 10048)...  :
// AH00072: make_sock: ...", "Syntax error ..." in "httpd.exe: Syntax error ..."; 0 where it names
// none, or where the match would start on the second byte of a double-byte character.
size_t CauseStart(std::string_view message, const LeadBytes& leads) {
  for (const std::string_view cause : kCauses) {
    const size_t found = message.find(cause);
    if (found == std::string_view::npos)
      continue;
    size_t at = 0;
    while (at < found)
      at += leads.IsLead(static_cast<unsigned char>(message[at])) ? 2 : 1;
    return at == found ? found : 0;
  }
  return 0;
}

// Lines that say only that the server ends: an error, but never the cause line while another
// error is there.
bool SaysOnlyTheEnd(std::string_view message) {
  return message == "Aborting" || StartsWithIgnoringAsciiCase(message, "Aborting");
}

// The line's bytes without control characters (a tab becomes a blank), cut at a character's
// start to `limit` bytes; sets `cut` where it was cut. A lead byte without its second byte is
// dropped.
std::string Cleaned(std::string_view line, size_t limit, const LeadBytes& leads, bool& cut) {
  std::string out;
  cut = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    size_t length = 1;
    if (leads.IsLead(c)) {
      if (i + 1 >= line.size() || static_cast<unsigned char>(line[i + 1]) < 0x20)
        continue;  // a broken character
      length = 2;
    } else if (c < 0x20 || c == 0x7F) {
      if (c != '\t')
        continue;
    }
    if (out.size() + length > limit) {
      cut = true;
      break;
    }
    if (c == '\t')
      out += ' ';
    else
      out.append(line.substr(i, length));
    i += length - 1;
  }
  while (!out.empty() && out.back() == ' ')
    out.pop_back();
  return out;
}

struct Candidate {
  std::string message;    // cleaned
  size_t causeStart = 0;  // where the known cause it names starts in it
  int weight = 0;
  bool end = false;  // SaysOnlyTheEnd
  size_t order = 0;
};

// The web server's service writes its messages to the event log behind ">>> ".
std::string_view WithoutEventMark(std::string_view message) {
  if (message.starts_with(">>>"))
    message.remove_prefix(3);
  return TrimmedBlanks(message);
}

}  // namespace

LogPlace DatabaseErrorLogPlace(const DatabaseFileOptions& options, std::string_view serverProgram,
                               std::string_view hostName,
                               const std::optional<ServerVersion>& version) {
  if (options.unknown)
    return {};
  const bool from57 =
      version && (version->major > 5 || (version->major == 5 && version->minor >= 7));
  if (options.console && (from57 || !options.logError))
    return {LogPlace::Kind::kNoFile, {}};
  std::string baseDir;
  if (options.baseDir && !options.baseDir->empty()) {
    if (!IsFullPath(*options.baseDir))
      return {};
    baseDir = Normalized(*options.baseDir);
  } else {
    const std::string_view binFolder = ParentOf(serverProgram);
    if (!IsFullPath(serverProgram) || ParentOf(binFolder).empty())
      return {};
    baseDir = Normalized(ParentOf(binFolder));
  }
  const std::string dataDir = options.dataDir && !options.dataDir->empty()
                                  ? Resolved(baseDir, *options.dataDir)
                                  : Resolved(baseDir, "data");
  if (options.logError && !options.logError->empty()) {
    std::string name = *options.logError;
    if (FileNameOf(name).find('.') == std::string_view::npos)
      name += ".err";
    return {LogPlace::Kind::kFile, Resolved(dataDir, name)};
  }
  std::string_view base = hostName;
  if (options.pidFile && !FileNameOf(*options.pidFile).empty())
    base = FileNameOf(*options.pidFile);
  base = base.substr(0, base.find('.'));
  if (base.empty())
    return {};
  return {LogPlace::Kind::kFile, Resolved(dataDir, std::string(base) + ".err")};
}

LogPlace WebErrorLogPlace(std::string_view httpdConf, std::string_view defaultServerRoot) {
  std::optional<std::string> serverRoot;
  std::optional<std::string> errorLog;
  int virtualHostDepth = 0;
  std::string line;
  size_t start = 0;
  while (start < httpdConf.size()) {
    size_t end = httpdConf.find('\n', start);
    if (end == std::string_view::npos)
      end = httpdConf.size();
    std::string_view part = httpdConf.substr(start, end - start);
    start = end + 1;
    if (!part.empty() && part.back() == '\r')
      part.remove_suffix(1);
    // A line ending in "\" goes on in the next one.
    if (!part.empty() && part.back() == '\\') {
      line += part.substr(0, part.size() - 1);
      continue;
    }
    line += part;
    const std::string_view text = TrimmedBlanks(line);
    if (text.empty() || text.front() == '#') {
      line.clear();
      continue;
    }
    const size_t nameEnd = std::min(text.find_first_of(" \t"), text.size());
    const std::string_view name = text.substr(0, nameEnd);
    const std::string_view rest = text.substr(nameEnd);
    if (StartsWithIgnoringAsciiCase(name, "<VirtualHost"))
      ++virtualHostDepth;
    else if (StartsWithIgnoringAsciiCase(name, "</VirtualHost"))
      virtualHostDepth = std::max(0, virtualHostDepth - 1);
    else if (EqualsIgnoringAsciiCase(name, "ServerRoot"))
      serverRoot = FirstArgument(rest);
    else if (EqualsIgnoringAsciiCase(name, "ErrorLog") && virtualHostDepth == 0)
      errorLog = FirstArgument(rest);
    line.clear();
  }
  const std::string log = errorLog.value_or("logs/error.log");
  if (log.starts_with("|") || log == "syslog" || StartsWithIgnoringAsciiCase(log, "syslog:"))
    return {LogPlace::Kind::kNoFile, {}};
  const std::string root = serverRoot.value_or(std::string(defaultServerRoot));
  if (!IsFullPath(root))
    return IsFullPath(log) ? LogPlace{LogPlace::Kind::kFile, Normalized(log)} : LogPlace{};
  return {LogPlace::Kind::kFile, Resolved(root, log)};
}

LogExcerpt ExcerptOfLog(std::string_view bytes, const LogSince& since, const LeadBytes& leads,
                        const ExcerptLimits& limits) {
  const uint64_t fileSize = since.textOffset + bytes.size();
  // A file shorter than it was at the start was replaced: all of it is new.
  const std::optional<uint64_t> newFrom = since.sizeAtStart && *since.sizeAtStart > fileSize
                                              ? std::optional<uint64_t>(0)
                                              : since.sizeAtStart;
  const std::optional<int64_t> localSince =
      since.local ? std::optional(SecondsOf(*since.local)) : std::nullopt;
  const std::optional<int64_t> utcSince =
      since.utc ? std::optional(SecondsOf(*since.utc)) : std::nullopt;

  std::vector<Candidate> candidates;
  size_t start = 0;
  if (since.textOffset > 0) {
    // The tail starts inside a line: that line is left out.
    const size_t firstEnd = bytes.find('\n');
    start = firstEnd == std::string_view::npos ? bytes.size() : firstEnd + 1;
  }
  // The entry a line without a stamp belongs to: whether it is new, and its severity.
  std::optional<bool> entryNew;
  std::string entrySeverity;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos)
      end = bytes.size();
    const std::string_view line = bytes.substr(start, end - start);
    const uint64_t lineOffset = since.textOffset + start;
    start = end + 1;

    const LineHead head = HeadOf(line);
    bool isNew = true;
    if (head.stamp) {
      const std::optional<int64_t>& moment = head.stamp->utc ? utcSince : localSince;
      if (moment)
        isNew = head.stamp->seconds >= *moment;
      else
        isNew = !newFrom || lineOffset >= *newFrom;
      entryNew = isNew;
      entrySeverity = head.severity;
    } else if (entryNew) {
      isNew = *entryNew;
    } else {
      isNew = !newFrom || lineOffset >= *newFrom;
    }
    if (!isNew)
      continue;
    bool cut = false;
    const std::string message =
        Cleaned(WithoutEventMark(line.substr(head.messageStart)), limits.lineBytes, leads, cut);
    const std::string_view severity = head.stamp ? head.severity : entrySeverity;
    const int weight = Weight(message, severity);
    if (weight == 0)
      continue;
    const bool repeated =
        std::any_of(candidates.begin(), candidates.end(),
                    [&message](const Candidate& c) { return c.message == message; });
    if (!repeated) {
      candidates.push_back({message, CauseStart(message, leads), weight, SaysOnlyTheEnd(message),
                            candidates.size()});
    }
  }

  LogExcerpt excerpt;
  if (candidates.empty())
    return excerpt;
  // The most telling first; of equals, the earlier (a later line is mostly a consequence).
  std::vector<Candidate> ranked = candidates;
  std::stable_sort(ranked.begin(), ranked.end(), [](const Candidate& a, const Candidate& b) {
    if (a.end != b.end)
      return !a.end;
    return a.weight > b.weight;
  });
  const Candidate& best = ranked.front();
  bool cut = false;
  // The cause line starts with what it says (a system's text or a program's name before it is
  // left to the excerpt), so that a short status shows it.
  excerpt.cause = Cleaned(std::string_view(best.message).substr(best.causeStart), limits.causeBytes,
                          leads, cut);
  excerpt.causeCut = cut;
  ranked.resize(std::min(ranked.size(), limits.lines));
  std::sort(ranked.begin(), ranked.end(),
            [](const Candidate& a, const Candidate& b) { return a.order < b.order; });
  for (Candidate& candidate : ranked)
    excerpt.lines.push_back(std::move(candidate.message));
  return excerpt;
}

}  // namespace orv
