// Plain reference versions of the text primitives and slicing routines,
// written straight from their rules with no speed in mind. Tests and fuzz
// targets compare the real routines with these.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace qm::reference {

inline char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline bool high(char c) { return static_cast<unsigned char>(c) >= 0x80; }

// Does `search` match `text` at 1-based position p (and fit)?
inline bool matches_at(std::string_view text, std::string_view search, int p, bool ignore_case) {
  const auto at = static_cast<std::size_t>(p - 1);
  if (at + search.size() > text.size()) return false;
  for (std::size_t k = 0; k < search.size(); ++k) {
    const char a = text[at + k];
    const char b = search[k];
    if (ignore_case ? fold(a) != fold(b) : a != b) return false;
  }
  return true;
}

inline int find(std::string_view text, std::string_view search, int start, bool ignore_case) {
  const int length = static_cast<int>(text.size());
  const int s = std::max(start, 1);
  if (s > length) return -1;
  if (search.empty()) return 1;
  for (int p = s; p <= length; p += high(text[static_cast<std::size_t>(p - 1)]) ? 2 : 1) {
    if (matches_at(text, search, p, ignore_case)) return p;
  }
  return -1;
}

inline int find_last(std::string_view text, std::string_view search, bool ignore_case) {
  if (text.empty()) return -1;
  if (search.empty()) return 1;
  int last = -1;
  const int length = static_cast<int>(text.size());
  for (int p = 1; p <= length; p += high(text[static_cast<std::size_t>(p - 1)]) ? 2 : 1) {
    if (matches_at(text, search, p, ignore_case)) last = p;
  }
  return last;
}

inline std::string replace(std::string_view text, std::string_view search, std::string_view with,
                           int start, int count, bool case_sensitive) {
  const int length = static_cast<int>(text.size());
  const int s = std::max(start, 1);
  if (text.empty() || search.empty() || s > length || count == 0) return std::string(text);
  std::string out(text.substr(0, static_cast<std::size_t>(s - 1)));
  int done = 0;
  int p = s;
  while (p <= length) {
    if ((count < 0 || done < count) && matches_at(text, search, p, !case_sensitive)) {
      out += with;
      p += static_cast<int>(search.size());
      ++done;
    } else {
      const int n = high(text[static_cast<std::size_t>(p - 1)]) && p < length ? 2 : 1;
      out += text.substr(static_cast<std::size_t>(p - 1), static_cast<std::size_t>(n));
      p += n;
    }
  }
  return out;
}

inline std::string between(std::string_view text, std::string left, std::string right, int start,
                           bool case_sensitive) {
  const std::string quote_word = "\x23\xD2\xFD\xBA\xC5";  // "#引号"
  left = replace(left, quote_word, "\"", 1, -1, true);
  right = replace(right, quote_word, "\"", 1, -1, true);
  const int p = find(text, left, start, !case_sensitive);
  if (p == -1) return {};
  const std::string rest(text.substr(static_cast<std::size_t>(p - 1) + left.size()));
  const int q = find(rest, right, 1, !case_sensitive);
  if (q == -1) return {};
  return rest.substr(0, static_cast<std::size_t>(q - 1));
}

inline std::string left_of(std::string_view text, std::string_view marker, int start, bool ignore_case) {
  const int p = find(text, marker, start, ignore_case);
  return p == -1 ? std::string() : std::string(text.substr(0, static_cast<std::size_t>(p - 1)));
}

inline int count(std::string_view text, std::string_view search, bool case_sensitive) {
  if (search.empty()) return 0;
  int p = find(text, search, 1, !case_sensitive);
  if (p == -1) return 0;
  int n = 1;
  while (p != -1) {
    const int previous = p;
    p = find(text, search, previous + 1, !case_sensitive);
    if (p == -1) p = find(text, search, previous + 2, !case_sensitive);
    if (p != -1) ++n;
  }
  return n;
}

inline std::string after_last(std::string_view text, std::string_view marker, bool ignore_case) {
  const int p = find_last(text, marker, ignore_case);
  if (p == -1) return {};
  return std::string(text.substr(static_cast<std::size_t>(p - 1) + marker.size()));
}

}  // namespace qm::reference
