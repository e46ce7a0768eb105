// The shared helpers: trimming, lower-casing and numbers in text.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

#include "text/find_internal.h"
#include "text/text.h"

namespace qm {
namespace {

using text_internal::is_lead;

// Length of the character at i: 2 for a lead byte with a byte after it.
std::size_t char_length(std::string_view s, std::size_t i) {
  return is_lead(s[i]) && i + 1 < s.size() ? 2 : 1;
}

bool is_blank(std::string_view s, std::size_t i, std::size_t len) {
  return (len == 1 && s[i] == ' ') || (len == 2 && s[i] == '\xA1' && s[i + 1] == '\xA1');
}

}  // namespace

Text text_trim(const Text& text) {
  const std::string_view s = text.view();
  // Characters are found by stepping from the start, so a full-width space
  // is only recognised where it is a whole character.
  std::size_t begin = 0;
  while (begin < s.size()) {
    const std::size_t len = char_length(s, begin);
    if (!is_blank(s, begin, len)) break;
    begin += len;
  }
  std::size_t end = begin;
  for (std::size_t i = begin; i < s.size();) {
    const std::size_t len = char_length(s, i);
    const bool blank = is_blank(s, i, len);
    i += len;
    if (!blank) end = i;
  }
  return Text(s.substr(begin, end - begin));
}

Text text_to_lower(const Text& text) {
  std::string out = text.str();
  for (std::size_t i = 0; i < out.size(); i += char_length(out, i)) {
    if (out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] | 0x20);
  }
  return Text(std::move(out));
}

std::int32_t text_to_int(const Text& text) {
  const std::string_view s = text.view();
  std::size_t i = s.find_first_not_of(' ');
  if (i == std::string_view::npos) return 0;
  bool negative = false;
  if (s[i] == '+' || s[i] == '-') negative = s[i++] == '-';
  std::int64_t value = 0;
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    value = std::min(value * 10 + (s[i] - '0'), kLimit);
  }
  if (negative) return static_cast<std::int32_t>(-value);
  return static_cast<std::int32_t>(std::min<std::int64_t>(value, kLimit - 1));
}

Text text_from_int(std::int64_t value) { return Text(std::to_string(value)); }

}  // namespace qm
