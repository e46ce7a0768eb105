// Marker-pair extraction: text_all_between, regex_escape_markers,
// text_replace_pairs.
#include <algorithm>
#include <cstring>
#include <string>

#include "text/find_internal.h"
#include "text/gbk_utf16.h"
#include "text/regex_internal.h"
#include "text/text.h"

namespace qm {
namespace {

bool is_metacharacter(char c) {
  return std::string_view("\\.^$|?*+()[]{}").find(c) != std::string_view::npos;
}

// The spans of text_all_between's pattern, found without the regular-
// expression engine: for markers of ASCII bytes without a line feed, over a
// text that is_plain_gbk. There ICU's characters are those of character
// stepping, caseless matching of ASCII letters is ASCII folding (GBK holds
// no character that folds to one, such as U+212A), and a line feed is
// always a character of its own, so this finds what the pattern finds.
// False when it does not apply.
bool collect_plain(std::string_view text, std::string_view left, std::string_view right,
                   text_internal::MatchSpans* out) {
  const auto plain = [](std::string_view marker) {
    return std::all_of(marker.begin(), marker.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80 && c != '\n'; });
  };
  if (left.empty() || !plain(left) || !plain(right) || !text_internal::is_plain_gbk(text)) return false;
  out->groups = 1;
  out->spans.clear();
  // In plain GBK, stepping from 0 finds every character start, so one
  // searcher per marker serves the whole text.
  text_internal::CharSearcher lefts(text, left, true, 0);
  text_internal::CharSearcher rights(text, right.empty() ? std::string_view("\n") : right, true, 0);
  std::size_t from = 0;
  std::size_t line_end = 0;                 // of the line where the last left marker stood
  std::size_t next_right = 0;               // the first right marker at or after next_right_from
  std::size_t next_right_from = 1;          // (none searched yet)
  for (;;) {
    const std::size_t at = lefts.next(from);
    if (at == text_internal::npos) return true;
    // Markers end in a one-byte character, so the group begins on a
    // character start, and so does the text after the right marker.
    const std::size_t group = at + left.size();
    std::size_t end = group;
    if (!right.empty()) {
      if (line_end < group) {
        const void* line_feed = std::memchr(text.data() + group, '\n', text.size() - group);
        line_end = line_feed ? static_cast<std::size_t>(static_cast<const char*>(line_feed) - text.data())
                             : text.size();
      }
      // Right markers found before stay valid while they lie at or after
      // the group, so the text is searched for them once in all.
      if (next_right_from > group || next_right < group) {
        next_right = rights.next(group);
        next_right_from = group;
      }
      if (next_right == text_internal::npos || next_right + right.size() > line_end) {
        // No right marker on the rest of this line, so no left marker later
        // on it has one either.
        if (line_end == text.size()) return true;
        from = line_end;
        continue;
      }
      end = next_right;
    }
    const std::size_t after = end + right.size();
    out->spans.insert(out->spans.end(), {static_cast<std::int32_t>(at), static_cast<std::int32_t>(after),
                                         static_cast<std::int32_t>(group), static_cast<std::int32_t>(end)});
    from = after;
  }
}

}  // namespace

Text regex_escape_markers(const Text& marker) {
  const std::string_view s = marker.view();
  std::string out;
  out.reserve(s.size() * 2);
  for (std::size_t i = 0; i < s.size();) {
    const char c = s[i];
    if (static_cast<unsigned char>(c) < 0x80) {
      if (is_metacharacter(c)) out.push_back('\\');
      out.push_back(c);
      ++i;
    } else if (i + 1 < s.size() && text_internal::is_gbk_pair(c, s[i + 1])) {
      // A two-byte character: its second byte is never a metacharacter.
      out.append(s.substr(i, 2));
      i += 2;
    } else {
      // A byte that begins no GBK character stands alone in the pattern. An
      // empty group keeps it from pairing with a backslash put after it.
      out.push_back(c);
      out.append("(?:)");
      ++i;
    }
  }
  return Text(std::move(out));
}

Text text_replace_pairs(const Text& text, const std::vector<ReplacePair>& pairs,
                        std::optional<int> count, std::optional<int> start,
                        std::optional<bool> case_sensitive) {
  Text result = text;
  for (std::size_t k = 0; k < pairs.size() && k < 5; ++k) {
    result = text_replace(result, pairs[k].search, pairs[k].replacement, start, count, case_sensitive);
  }
  return result;
}

int text_all_between(const Text& text, const Text& left, const Text& right, TextList* list,
                     std::optional<int> max_length, std::optional<Text> prefix,
                     std::optional<Text> suffix, std::optional<bool> include_left,
                     std::optional<bool> include_right) {
  if (!list) return 0;
  list->clear();
  // A RegexObject's matching, on the caller's text: no copy of the page.
  text_internal::MatchSpans matches;
  if (!collect_plain(text.view(), left.view(), right.view(), &matches)) {
    text_internal::regex_collect(regex_escape_markers(left) + Text("(.*?)") + regex_escape_markers(right),
                                 text.view(), text_internal::RegexOptions(), &matches);
  }
  const int limit = max_length.value_or(0);
  const Text before = prefix.value_or(Text());
  const Text after = suffix.value_or(Text());
  const bool with_left = include_left.value_or(false);
  const bool with_right = include_right.value_or(false);
  const int n = static_cast<int>(matches.match_count());
  list->reserve(static_cast<std::size_t>(n));
  for (int i = 1; i <= n; ++i) {
    const Text v = matches.cut(text.view(), i, 1);
    if (limit != 0 && v.length() > limit) continue;  // a negative limit drops every item
    // With a length limit the two markers exclude each other; the left wins.
    const bool add_left = with_left;
    const bool add_right = with_right && (limit == 0 || !with_left);
    if (!add_left && !add_right && before.empty() && after.empty()) {
      list->push_back(v);
      continue;
    }
    Text item = add_left ? left : Text();
    item += before;
    item += v;
    item += after;
    if (add_right) item += right;
    list->push_back(std::move(item));
  }
  return static_cast<int>(list->size());
}

}  // namespace qm
