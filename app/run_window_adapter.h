// The collection run's view of the main window.
#pragma once

#include "collect/collect.h"

namespace qm {

class MainWindow;

// Reads and writes the window's controls at every call; keeps nothing.
class MainWindowRun final : public RunWindow {
 public:
  explicit MainWindowRun(MainWindow& window) : window_(window) {}

  Text keyword() override;
  bool exact() override;
  void set_collect_button(bool enabled, const Text& caption) override;
  void set_results(const Text& text) override;
  // Caret to the end of the box, scrolled into view, then the text inserted
  // there. The insertion leaves no undo step (the box's undo history ends).
  void append_results(const Text& text) override;
  void set_results_caption(const Text& caption) override;

 private:
  MainWindow& window_;
};

}  // namespace qm
