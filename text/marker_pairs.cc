// Marker-pair extraction: text_all_between, regex_escape_markers,
// text_replace_pairs.
#include <string>

#include "text/gbk_utf16.h"
#include "text/text.h"

namespace qm {
namespace {

bool is_metacharacter(char c) {
  return std::string_view("\\.^$|?*+()[]{}").find(c) != std::string_view::npos;
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
  RegexObject regex;
  regex.execute(regex_escape_markers(left) + Text("(.*?)") + regex_escape_markers(right), text);
  const int limit = max_length.value_or(0);
  const Text before = prefix.value_or(Text());
  const Text after = suffix.value_or(Text());
  const bool with_left = include_left.value_or(false);
  const bool with_right = include_right.value_or(false);
  const int n = regex.match_count();
  list->reserve(static_cast<std::size_t>(n));
  for (int i = 1; i <= n; ++i) {
    Text v = regex.submatch_value(i, 1);
    if (limit != 0 && v.length() > limit) continue;  // a negative limit drops every item
    v = before + v + after;
    if (limit != 0) {
      // With a length limit the two markers exclude each other; the left wins.
      if (with_left) {
        v = left + v;
      } else if (with_right) {
        v += right;
      }
    } else {
      if (with_left) v = left + v;
      if (with_right) v += right;
    }
    list->push_back(std::move(v));
  }
  return static_cast<int>(list->size());
}

}  // namespace qm
