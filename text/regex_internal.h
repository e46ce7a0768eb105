// Internal to text/: the matching under RegexObject, on a text the caller
// keeps, so that text_all_between need not copy its page.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace qm::text_internal {

struct RegexOptions {
  bool ignore_case = true;
  bool multi_line = true;
  bool global = true;
};

// The matches of a pattern in a text, as byte offsets into that text.
struct MatchSpans {
  std::size_t groups = 0;  // capturing groups of the pattern
  // Per match, (groups + 1) pairs [begin, end) of byte offsets; -1 for a
  // group that took no part.
  std::vector<std::int32_t> spans;

  std::size_t match_count() const noexcept { return spans.size() / (2 * (groups + 1)); }
  // The span of group j (0: the whole match) of match i (1-based); nullptr
  // when there is no such match or group, or the group took no part.
  const std::int32_t* span(int i, int j) const noexcept;
  // The bytes of that span in `text`, empty when there is none.
  Text cut(std::string_view text, int i, int j) const;
};

// Compiles `pattern` and collects its matches in `text`. False (and no
// spans) when the pattern is invalid.
bool regex_collect(const Text& pattern, std::string_view text, RegexOptions options, MatchSpans* out);

}  // namespace qm::text_internal
