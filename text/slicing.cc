// The slicing routines: text_between, text_left_of, text_count_occurrences,
// text_after_last.
#include "text/find_internal.h"
#include "text/text.h"

namespace qm {
namespace {

using text_internal::find_position;

// "#引号" in GBK: 23 D2 FD BA C5.
constexpr std::string_view kQuoteWord = "\x23\xD2\xFD\xBA\xC5";

Text unquote_marker(const Text& marker) {
  if (marker.view().find(kQuoteWord) == std::string_view::npos) return marker;
  return text_replace(marker, Text(kQuoteWord), Text("\""), 1, -1, true);
}

}  // namespace

Text text_between(const Text& text, const Text& left, const Text& right,
                  std::optional<int> start, std::optional<bool> case_sensitive) {
  const Text l = unquote_marker(left);
  const Text r = unquote_marker(right);
  const bool ignore_case = !case_sensitive.value_or(false);
  const int p = find_position(text.view(), l.view(), start.value_or(1), ignore_case);
  if (p == -1) return Text();
  // Everything after the left marker; an empty left marker is found at 1.
  const std::string_view rest = text.view().substr(static_cast<std::size_t>(p - 1) + l.view().size());
  const int q = find_position(rest, r.view(), 1, ignore_case);
  if (q == -1) return Text();
  return Text(rest.substr(0, static_cast<std::size_t>(q - 1)));
}

Text text_left_of(const Text& text, const Text& marker, std::optional<int> start,
                  std::optional<bool> ignore_case) {
  const int p = find_position(text.view(), marker.view(), start.value_or(1), ignore_case.value_or(false));
  if (p == -1) return Text();
  return text_left(text, p - 1);
}

int text_count_occurrences(const Text& text, const Text& search, std::optional<bool> case_sensitive) {
  // Every byte would match an empty search text, so none is counted.
  if (search.empty()) return 0;
  const bool ignore_case = !case_sensitive.value_or(false);
  int p = find_position(text.view(), search.view(), 1, ignore_case);
  if (p == -1) return 0;
  int count = 1;
  // Each pass searches on one byte after the previous occurrence (so
  // overlapping ones count), then two bytes after it when that finds none.
  // p grows every pass, so the loop ends.
  for (;;) {
    const int previous = p;
    p = find_position(text.view(), search.view(), previous + 1, ignore_case);
    if (p == -1) p = find_position(text.view(), search.view(), previous + 2, ignore_case);
    if (p != -1) ++count;
    event_pump().dispatch_pending();
    if (p == -1) return count;
  }
}

Text text_after_last(const Text& text, const Text& marker, std::optional<bool> ignore_case) {
  const int p = text_find_last(text, marker, ignore_case);
  if (p == -1) return Text();
  return Text(text.view().substr(static_cast<std::size_t>(p - 1) + marker.view().size()));
}

}  // namespace qm
