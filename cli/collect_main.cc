// qirvomorvalin-collect: the collection run from a terminal.
//
//   qirvomorvalin-collect [--exact] [--unique] [--max-pages N] [--output FILE]
//                         [--connect-to HOST:PORT:ADDR:PORT] KEYWORD
//
// Titles go to standard output (or FILE) as UTF-8 lines, the running count to
// standard error. Exit status: 0 when the run has ended, 1 when the output
// cannot be written, 2 on bad usage, 130 on Ctrl-C.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "cli/terminal_window.h"
#include "collect/collect.h"
#include "web/web.h"

namespace {

constexpr const char* kUsage =
    "usage: qirvomorvalin-collect [--exact] [--unique] [--max-pages N] [--output FILE]\n"
    "                             [--connect-to HOST:PORT:ADDR:PORT] KEYWORD\n"
    "  --exact        list only questions whose page contains KEYWORD (exact bytes)\n"
    "  --unique       write each title once\n"
    "  --max-pages N  walk at most N result pages (N >= 1)\n"
    "  --output FILE  write the titles to FILE instead of standard output\n"
    "  --connect-to   send requests for HOST:PORT to ADDR:PORT instead\n";

[[noreturn]] void usage_error(const std::string& message) {
  const std::string text = "qirvomorvalin-collect: " + message + "\n" + kUsage;
  qm::write_all(2, text.data(), text.size());
  std::_Exit(2);
}

volatile std::sig_atomic_t g_status_is_terminal = 0;

extern "C" void on_interrupt(int) {
  // Every finished title has already been written; end the status line.
  if (g_status_is_terminal) qm::write_all(2, "\n", 1);
  _exit(130);
}

std::optional<int> parse_port(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return std::nullopt;
  return value;
}

// HOST:PORT:ADDR:PORT, ADDR possibly an IPv6 address in brackets.
bool valid_connect_to(std::string_view route) {
  const std::size_t first = route.find(':');
  const std::size_t last = route.rfind(':');
  if (first == std::string_view::npos || first == 0) return false;
  const std::size_t second = route.find(':', first + 1);
  if (second == std::string_view::npos || second >= last) return false;
  const std::string_view addr = route.substr(second + 1, last - second - 1);
  return parse_port(route.substr(first + 1, second - first - 1)) && !addr.empty() &&
         parse_port(route.substr(last + 1));
}

struct Arguments {
  bool exact = false;
  bool unique = false;
  std::optional<int> max_pages;
  std::optional<std::string> output;
  std::optional<std::string> connect_to;
  std::optional<std::string> keyword;
};

Arguments parse(int argc, char** argv) {
  Arguments args;
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&](std::string_view name) -> std::string {
      if (i + 1 >= argc) usage_error(std::string(name) + " needs a value");
      return argv[++i];
    };
    if (!options_done && arg == "--") {
      options_done = true;
    } else if (!options_done && (arg == "--help" || arg == "-h")) {
      qm::write_all(1, kUsage, std::strlen(kUsage));
      std::_Exit(0);
    } else if (!options_done && arg == "--exact") {
      args.exact = true;
    } else if (!options_done && arg == "--unique") {
      args.unique = true;
    } else if (!options_done && arg == "--max-pages") {
      const std::string n = value(arg);
      char* end = nullptr;
      errno = 0;
      const long pages = std::strtol(n.c_str(), &end, 10);
      if (n.empty() || *end != '\0' || errno != 0 || pages < 1 || pages > 1000000)
        usage_error("--max-pages wants a whole number from 1 to 1000000, not \"" + n + "\"");
      args.max_pages = static_cast<int>(pages);
    } else if (!options_done && arg == "--output") {
      args.output = value(arg);
      if (args.output->empty()) usage_error("--output needs a file name");
    } else if (!options_done && arg == "--connect-to") {
      args.connect_to = value(arg);
      if (!valid_connect_to(*args.connect_to))
        usage_error("--connect-to wants HOST:PORT:ADDR:PORT, not \"" + *args.connect_to + "\"");
    } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
      usage_error("unknown option " + std::string(arg));
    } else if (args.keyword) {
      usage_error("only one keyword may be given");
    } else {
      args.keyword = std::string(arg);
    }
  }
  if (!args.keyword) usage_error("no keyword given");
  return args;
}

}  // namespace

int main(int argc, char** argv) {
  const Arguments args = parse(argc, argv);

  // The site speaks GBK; a keyword that does not survive the trip would
  // search for something the user did not type.
  const qm::Text keyword = qm::gbk_from_utf8(*args.keyword);
  if (qm::utf8_from_gbk(keyword) != *args.keyword)
    usage_error("the keyword must be UTF-8 text whose characters GBK can hold");

  int out_fd = 1;
  if (args.output) {
    out_fd = ::open(args.output->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out_fd < 0) {
      const std::string text =
          "qirvomorvalin-collect: cannot open " + *args.output + ": " + std::strerror(errno) + "\n";
      qm::write_all(2, text.data(), text.size());
      return 1;
    }
  }
  if (args.connect_to) qm::inet_set_route(*args.connect_to);

  const bool terminal = ::isatty(2) == 1;
  g_status_is_terminal = terminal ? 1 : 0;
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);

  qm::TerminalWindow window({.keyword = keyword,
                             .exact = args.exact,
                             .unique = args.unique,
                             .out_fd = out_fd,
                             .status_fd = 2,
                             .status_is_terminal = terminal});
  qm::RunLimits limits;
  limits.max_pages = args.max_pages;
  qm::collection_run(window, limits);
  window.finish();

  int status = 0;
  if (window.write_error() != 0) {
    const std::string text = std::string("qirvomorvalin-collect: cannot write the titles: ") +
                             std::strerror(window.write_error()) + "\n";
    qm::write_all(2, text.data(), text.size());
    status = 1;
  }
  if (args.output && ::close(out_fd) != 0 && status == 0) {
    const std::string text = "qirvomorvalin-collect: cannot write " + *args.output + ": " +
                             std::strerror(errno) + "\n";
    qm::write_all(2, text.data(), text.size());
    status = 1;
  }
  return status;
}
