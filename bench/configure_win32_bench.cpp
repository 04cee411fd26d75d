// Prints what configuring costs: the whole Configure on a copy of the sample bundle (real files,
// the install script started), and placeholder replacement on large generated templates beside a
// plain copy of the same bytes, measured in the same run.
//
//   configure_win32_bench [BUNDLE_FOLDER]
//
// BUNDLE_FOLDER is a scratch copy of the sample bundle, as a Windows path (bench/configure-bench
// makes one); without it only the replacement figures are printed.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "configure/configure_win32.h"
#include "configure/placeholder.h"
#include "configure/text_content.h"
#include "platform/text_win32.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The median of `runs` timings of `work`, in milliseconds.
template <typename Work>
double MedianMs(int runs, Work&& work) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const Clock::time_point start = Clock::now();
    work();
    times.push_back(MillisecondsSince(start));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// A template of at least `size` bytes in code page 936: the lines of a web-server configuration,
// Chinese comments among them, a placeholder on about one line in six, and section brackets and
// double-byte characters whose second byte is "[" that must not be taken for placeholders.
std::string GeneratedTemplate(size_t size) {
  static const std::string_view kLines[] = {
      "# \xB7\xFE\xCE\xF1\xC6\xF7\xB8\xF9\xC4\xBF\xC2\xBC\xA3\xAC\xC7\xEB\xCE\xF0\xD0\xDE\xB8\xC4"
      "\r\n",
      "ServerRoot \"[xpath]local/Apache2\"\r\n",
      "Listen [port]\r\n",
      "LoadModule php5_module \"[xpath]local/php5/php5apache2_2.dll\"\r\n",
      "<Directory \"[xpath]www\">\r\n",
      "    Options FollowSymLinks\r\n",
      "    AllowOverride None\r\n",
      "    Order allow,deny\r\n",
      "    Allow from all\r\n",
      "</Directory>\r\n",
      "[mysqld]\r\n",
      "port=3306\r\n",
      "; \x81[xpath] \xD7\xA2\xCA\xCD\r\n",
      "DirectoryIndex index.html index.php\r\n",
      "ErrorLog logs/error.log\r\n",
      "LogFormat \"%h %l %u %t \\\"%r\\\" %>s %b\" common\r\n",
      "AddType application/x-httpd-php .php\r\n",
      "Alias /qorn \"[xpath]www/qorn\"\r\n",
  };
  std::string text;
  text.reserve(size + 128);
  while (text.size() < size) {
    for (std::string_view line : kLines)
      text += line;
  }
  return text;
}

// Prints the figures for one size and returns the replacement's time.
double ReplacementFigures(size_t megabytes, const orv::LeadBytes& leads) {
  const std::string text = GeneratedTemplate(megabytes << 20);
  const std::string folder = "D:\\\xB7\xFE\xCE\xF1\\web\\";
  const int runs = megabytes > 10 ? 5 : 15;

  size_t sink = 0;
  const double copy = MedianMs(runs, [&] {
    std::string copied(text);
    sink += copied.size();
  });
  const double replace = MedianMs(runs, [&] {
    std::string done = orv::ReplacePlaceholder(text, "[xpath]", folder, leads);
    sink += done.size();
  });
  const double all = MedianMs(runs, [&] {
    std::string done = orv::TextFromFileBytes(text);
    done = orv::ReplacePlaceholder(done, "[xpath]", folder, leads);
    done = orv::ReplacePlaceholder(done, "[port]", "81", leads);
    sink += orv::FileBytesFromText(done).size();
  });
  std::printf(
      "%3zu MB template: plain copy %8.2f ms   [xpath] replacement %8.2f ms (%.2fx copy)   "
      "read rules + [xpath] + [port] + write rules %8.2f ms   (%zu)\n",
      megabytes, copy, replace, replace / copy, all, sink % 10);
  return replace;
}

}  // namespace

int main(int argc, char** argv) {
  const orv::LeadBytes leads = orv::LeadBytes::From(orv::IsAnsiLeadByte);
  std::printf("ANSI lead bytes: 0x81 %s, 0x5B %s\n", leads.IsLead(0x81) ? "lead" : "single",
              leads.IsLead(0x5B) ? "lead" : "single");

  if (argc > 1) {
    std::string folder = argv[1];
    if (folder.empty() || folder.back() != '\\')
      folder += '\\';
    try {
      orv::ConfigureIn(folder, 81);  // warm the file cache and the command processor
      const double whole = MedianMs(9, [&] { orv::ConfigureIn(folder, 81); });
      std::printf("whole Configure on the sample bundle (7 reads, 7 writes, 1 start): %.2f ms\n",
                  whole);
    } catch (const std::exception& failure) {
      std::printf("whole Configure failed: %s\n", failure.what());
      return 1;
    }
  }

  const double small = ReplacementFigures(5, leads);
  const double large = ReplacementFigures(50, leads);
  std::printf("replacement, 50 MB against 5 MB: %.2fx\n", large / small);
  return 0;
}
