// The terminal RunWindow.
#include "cli/terminal_window.h"

#include <cerrno>

#include <unistd.h>

#include "web/web.h"

namespace qm {

bool write_all(int fd, const char* bytes, std::size_t size) noexcept {
  while (size > 0) {
    const ssize_t n = ::write(fd, bytes, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void TerminalWindow::set_collect_button(bool, const Text&) {}

// The run clears the box at its start; lines already written stay written.
void TerminalWindow::set_results(const Text&) { seen_.clear(); }

void TerminalWindow::append_results(const Text& text) {
  // The run appends one title and its "\r\n"; a line break inside a title
  // becomes a blank so that every title stays one line.
  std::string line = utf8_from_gbk(text);
  if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) line.resize(line.size() - 2);
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  if (options_.unique && !seen_.insert(line).second) return;
  line += '\n';
  if (write_error_ == 0 && !write_all(options_.out_fd, line.data(), line.size())) write_error_ = errno;
}

void TerminalWindow::set_results_caption(const Text& caption) { write_status(utf8_from_gbk(caption)); }

void TerminalWindow::write_status(const std::string& utf8) {
  // Status output is best effort: a closed standard error loses nothing else.
  if (options_.status_is_terminal) {
    const std::string line = "\r" + utf8 + "\x1b[K";
    status_open_ = write_all(options_.status_fd, line.data(), line.size());
  } else {
    const std::string line = utf8 + "\n";
    write_all(options_.status_fd, line.data(), line.size());
  }
}

void TerminalWindow::finish() {
  if (status_open_) write_all(options_.status_fd, "\n", 1);
  status_open_ = false;
}

}  // namespace qm
