// The terminal front end of a collection run: a RunWindow whose results box
// is an output file descriptor (one UTF-8 line per title) and whose frame
// caption is a status line on another descriptor.
//
// Lines are written with write(2) as they come, nothing is buffered, so a
// process that ends abruptly (Ctrl-C) has lost no finished line.
#pragma once

#include <string>
#include <unordered_set>

#include "collect/collect.h"

namespace qm {

class TerminalWindow final : public RunWindow {
 public:
  struct Options {
    Text keyword;        // GBK
    bool exact = false;
    bool unique = false;  // drop titles already written
    int out_fd = 1;
    int status_fd = 2;
    bool status_is_terminal = false;  // one line rewritten with \r
  };
  explicit TerminalWindow(Options options) : options_(std::move(options)) {}

  Text keyword() override { return options_.keyword; }
  bool exact() override { return options_.exact; }
  void set_collect_button(bool enabled, const Text& caption) override;
  void set_results(const Text& text) override;
  void append_results(const Text& text) override;
  void set_results_caption(const Text& caption) override;

  // Ends the status line on a terminal; call once the run is over.
  void finish();
  // errno of the first failed write to the output; 0 when none failed.
  int write_error() const noexcept { return write_error_; }

 private:
  void write_status(const std::string& utf8);

  Options options_;
  std::unordered_set<std::string> seen_;
  bool status_open_ = false;  // a terminal status line awaits its line end
  int write_error_ = 0;
};

// Writes all of `bytes` to `fd`, retrying after interruptions; false with
// errno set when it fails. Async-signal-safe.
bool write_all(int fd, const char* bytes, std::size_t size) noexcept;

}  // namespace qm
