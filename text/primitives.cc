// The text primitives: text_find, text_find_last, text_left, text_right,
// text_replace, and the searchers beneath them.
#include <algorithm>
#include <climits>
#include <cstring>

#include "text/find_internal.h"
#include "text/text.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace qm {
namespace text_internal {

void fold_copy(const char* src, std::size_t n, char* dst) noexcept {
  std::size_t i = 0;
#ifdef __SSE2__
  // Bytes of 0x80 and above compare as negative, so they are never folded.
  const __m128i before_a = _mm_set1_epi8('A' - 1);
  const __m128i after_z = _mm_set1_epi8('Z' + 1);
  const __m128i bit = _mm_set1_epi8(0x20);
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i upper = _mm_and_si128(_mm_cmpgt_epi8(v, before_a), _mm_cmplt_epi8(v, after_z));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                     _mm_or_si128(v, _mm_and_si128(upper, bit)));
  }
#endif
  for (; i < n; ++i) dst[i] = fold(src[i]);
}

RawSearcher::RawSearcher(std::string_view hay, std::string_view needle, bool ignore_case)
    : hay_(hay), needle_(needle) {
  const auto is_letter = [](char c) { return (static_cast<unsigned char>(c) | 0x20u) - 'a' < 26u; };
  if (ignore_case && std::any_of(needle.begin(), needle.end(), is_letter)) {
    fold_ = true;
    folded_needle_.resize(needle.size());
    fold_copy(needle.data(), needle.size(), folded_needle_.data());
    needle_ = folded_needle_;
  }
}

std::size_t RawSearcher::next(std::size_t from) {
  const std::size_t m = needle_.size();
  const std::size_t n = hay_.size();
  if (m > n || from > n - m) return npos;
  if (!fold_) {
    const void* hit = memmem(hay_.data() + from, n - from, needle_.data(), m);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - hay_.data()) : npos;
  }
  constexpr std::size_t kMaxChunk = 16 * 1024;
  for (;;) {
    if (from < win_begin_ || from + m > win_begin_ + win_len_) {
      // Refill from `from`; a window at least twice the needle moves on by
      // more than the needle's length each time.
      win_begin_ = from;
      win_len_ = std::min(n - from, std::max(chunk_, 2 * m));
      if (window_.size() < win_len_) window_.resize(win_len_);
      fold_copy(hay_.data() + from, win_len_, window_.data());
      chunk_ = std::min(chunk_ * 2, kMaxChunk);
    }
    const std::size_t skip = from - win_begin_;
    const void* hit = memmem(window_.data() + skip, win_len_ - skip, needle_.data(), m);
    if (hit) return win_begin_ + static_cast<std::size_t>(static_cast<const char*>(hit) - window_.data());
    if (win_begin_ + win_len_ == n) return npos;
    from = win_begin_ + win_len_ - m + 1;
  }
}

bool CharSearcher::is_char_start(std::size_t c) noexcept {
  std::size_t run = c;
  while (run > known_ && is_lead(hay_[run - 1])) --run;
  // run is a character start: either known_, or just after a byte below 0x80.
  const bool start = (c - run) % 2 == 0;
  known_ = start ? c : c - 1;
  return start;
}

std::size_t CharSearcher::next(std::size_t from) {
  for (;;) {
    const std::size_t c = raw_.next(from);
    if (c == npos || is_char_start(c)) return c;
    from = c + 1;
  }
}

int find_position(std::string_view hay, std::string_view needle, int start, bool ignore_case) {
  const int s = std::max(start, 1);
  if (s > static_cast<int>(hay.size())) return -1;
  if (needle.empty()) return 1;
  const std::size_t at = find_from(hay, needle, static_cast<std::size_t>(s - 1), ignore_case);
  return at == npos ? -1 : static_cast<int>(at) + 1;
}

}  // namespace text_internal

using text_internal::npos;

int text_find(const Text& text, const Text& search, std::optional<int> start,
              std::optional<bool> ignore_case) {
  return text_internal::find_position(text.view(), search.view(), start.value_or(1),
                                      ignore_case.value_or(false));
}

int text_find_last(const Text& text, const Text& search, std::optional<bool> ignore_case) {
  if (text.empty()) return -1;
  if (search.empty()) return 1;
  text_internal::CharSearcher searcher(text.view(), search.view(), ignore_case.value_or(false), 0);
  std::size_t last = npos;
  for (std::size_t at = searcher.next(0); at != npos; at = searcher.next(at + 1)) last = at;
  return last == npos ? -1 : static_cast<int>(last) + 1;
}

Text text_left(const Text& text, int n) {
  if (n <= 0) return Text();
  return Text(text.view().substr(0, static_cast<std::size_t>(n)));
}

Text text_right(const Text& text, int n) {
  if (n <= 0) return Text();
  if (n >= text.length()) return text;
  return Text(text.view().substr(static_cast<std::size_t>(text.length() - n)));
}

Text text_replace(const Text& text, const Text& search, std::optional<Text> replacement,
                  std::optional<int> start, std::optional<int> count,
                  std::optional<bool> case_sensitive) {
  const int s = std::max(start.value_or(1), 1);
  const int limit = count.value_or(-1);
  if (text.empty() || search.empty() || s > text.length() || limit == 0) return text;
  const std::string_view hay = text.view();
  const std::string_view with = replacement ? replacement->view() : std::string_view();
  const std::size_t m = search.view().size();

  std::size_t pos = static_cast<std::size_t>(s - 1);
  text_internal::CharSearcher searcher(hay, search.view(), !case_sensitive.value_or(false), pos);
  std::string out(hay.substr(0, pos));
  for (int done = 0; limit < 0 || done < limit; ++done) {
    const std::size_t at = searcher.next(pos);
    if (at == npos) break;
    out.append(hay.substr(pos, at - pos)).append(with);
    pos = at + m;
    searcher.restart(pos);
    if (out.size() > static_cast<std::size_t>(INT_MAX)) break;  // Text cuts there anyway
  }
  out.append(hay.substr(std::min(pos, hay.size())));
  return Text(std::move(out));
}

}  // namespace qm
