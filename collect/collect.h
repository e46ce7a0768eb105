// Question collection: the run behind the collect button. It walks the
// site's result pages for a keyword, fetches every question page they link
// to and lists the titles in the results box of a RunWindow.
//
// Thread rules: collection_run runs on the thread that owns the installed
// EventPump (the user-interface thread) and re-enters the window's handlers
// while it waits, so every RunWindow read is made afresh at every use.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "text/text.h"

namespace qm {

// The question-and-answer site.
inline constexpr const char* SITE_HOST = "wenda.pelquor.com";

// The window operations a run uses. All texts are GBK.
class RunWindow {
 public:
  virtual ~RunWindow() = default;
  virtual Text keyword() = 0;                      // 编辑框_关键词
  virtual bool exact() = 0;                        // 选择框1 ticked
  virtual void set_collect_button(bool enabled, const Text& caption) = 0;  // 按钮_采集问题
  virtual void set_results(const Text& text) = 0;     // 编辑框_采集结果
  virtual void append_results(const Text& text) = 0;  // caret to the end, then insert
  virtual void set_results_caption(const Text& caption) = 0;  // 分组框2
};

// Titles listed by the current or last run.
extern std::int32_t collected_count;

// Bounds a caller may put on a run. The defaults are the desktop program's
// run: every result page, 60 seconds per page.
struct RunLimits {
  // Result pages walked at most (probe, harvest and questions count as one);
  // none: until a probe page offers no next page.
  std::optional<int> max_pages;
  // Time-out of each question page fetch, in whole seconds (at least 1).
  int question_timeout_seconds = 60;
  // Time-out of each result page GET.
  std::chrono::milliseconds result_timeout = std::chrono::seconds(60);
};

// One whole run, from disabling the collect button to enabling it again.
void collection_run(RunWindow& window);
void collection_run(RunWindow& window, const RunLimits& limits);

// The addresses a run requests (GBK). The keyword is percent-encoded: every
// byte but ASCII letters, digits and "-._~" becomes %XX.
Text collect_search_address(std::int32_t search_offset, const Text& keyword);
Text collect_question_address(const Text& id);

}  // namespace qm
