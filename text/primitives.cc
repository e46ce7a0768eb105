// The text primitives: text_find, text_find_last, text_left, text_right,
// text_replace, and the searchers beneath them.
#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

#include "text/find_internal.h"
#include "text/text.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if QM_HAVE_AVX2
#include <immintrin.h>
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
    folded_.resize(needle.size());
    fold_copy(needle.data(), needle.size(), folded_.data());
    needle_ = folded_;
  }
  if (needle_.empty()) return;
  // How common a byte is in pages: ASCII markup and English most, high
  // bytes (Chinese text) fairly; the rest rare.
  static constexpr auto kCommonness = [] {
    std::array<unsigned char, 256> rank{};
    constexpr std::string_view kRareToCommon = "zqjxkvbywgpfmucdlhrsniotae0123456789-_.:;/=\"<> \n";
    for (std::size_t k = 0; k < kRareToCommon.size(); ++k) {
      rank[static_cast<unsigned char>(kRareToCommon[k])] = static_cast<unsigned char>(k + 1);
    }
    for (std::size_t b = 0x80; b < 256; ++b) rank[b] = 30;
    return rank;
  }();
  const auto commonness = [](char c) { return kCommonness[static_cast<unsigned char>(c)]; };
  std::size_t best = 0;
  for (std::size_t k = 1; k < needle_.size(); ++k) {
    if (commonness(needle_[k]) < commonness(needle_[best])) best = k;
  }
  std::size_t second = best == 0 ? needle_.size() - 1 : 0;
  for (std::size_t k = 0; k < needle_.size(); ++k) {
    if (k != best && commonness(needle_[k]) < commonness(needle_[second])) second = k;
  }
  offset_[0] = best;
  offset_[1] = second;
  for (int e = 0; e < 2; ++e) {
    const char c = needle_[offset_[e]];
    byte_[e] = static_cast<unsigned char>(c);
    or_[e] = fold_ && is_letter(c) ? 0x20 : 0;
  }
}

bool RawSearcher::matches_at(std::size_t at) const noexcept {
  const char* h = hay_.data() + at;
  if (!fold_) return std::memcmp(h, needle_.data(), needle_.size()) == 0;
  for (std::size_t k = 0; k < needle_.size(); ++k) {
    if (fold(h[k]) != needle_[k]) return false;
  }
  return true;
}

std::size_t RawSearcher::next(std::size_t from) const noexcept {
  const std::size_t m = needle_.size();
  const std::size_t n = hay_.size();
  if (m == 0 || m > n || from > n - m) return npos;
  const std::size_t last_start = n - m;  // the last offset where the needle fits
  std::size_t at = from;
#if QM_HAVE_AVX2
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) {
    const std::size_t hit = next_avx2(at, last_start);
    if (hit != npos) return hit;
  }
#endif
#ifdef __SSE2__
  const __m128i or0 = _mm_set1_epi8(static_cast<char>(or_[0]));
  const __m128i byte0 = _mm_set1_epi8(static_cast<char>(byte_[0]));
  const __m128i or1 = _mm_set1_epi8(static_cast<char>(or_[1]));
  const __m128i byte1 = _mm_set1_epi8(static_cast<char>(byte_[1]));
  const char* h0 = hay_.data() + offset_[0];
  const char* h1 = hay_.data() + offset_[1];
  // Both offsets lie below m, so a block of 16 candidates reads no byte
  // beyond the last one where the needle fits.
  for (; at + 16 <= last_start + 1; at += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h0 + at));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h1 + at));
    const __m128i both = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, or0), byte0),
                                       _mm_cmpeq_epi8(_mm_or_si128(b, or1), byte1));
    for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(both)); mask != 0; mask &= mask - 1) {
      const std::size_t candidate = at + static_cast<std::size_t>(__builtin_ctz(mask));
      if (matches_at(candidate)) return candidate;
    }
  }
#endif
  for (; at <= last_start; ++at) {
    if (matches_at(at)) return at;
  }
  return npos;
}

#if QM_HAVE_AVX2
// The block loop of next, 32 candidates at a time; `at` ends where fewer
// than 32 are left.
__attribute__((target("avx2"))) std::size_t RawSearcher::next_avx2(std::size_t& at,
                                                                   std::size_t last_start) const noexcept {
  const __m256i or0 = _mm256_set1_epi8(static_cast<char>(or_[0]));
  const __m256i byte0 = _mm256_set1_epi8(static_cast<char>(byte_[0]));
  const __m256i or1 = _mm256_set1_epi8(static_cast<char>(or_[1]));
  const __m256i byte1 = _mm256_set1_epi8(static_cast<char>(byte_[1]));
  const char* h0 = hay_.data() + offset_[0];
  const char* h1 = hay_.data() + offset_[1];
  for (; at + 32 <= last_start + 1; at += 32) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(h0 + at));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(h1 + at));
    const __m256i both = _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_or_si256(a, or0), byte0),
                                          _mm256_cmpeq_epi8(_mm256_or_si256(b, or1), byte1));
    for (auto mask = static_cast<unsigned>(_mm256_movemask_epi8(both)); mask != 0; mask &= mask - 1) {
      const std::size_t candidate = at + static_cast<std::size_t>(__builtin_ctz(mask));
      if (matches_at(candidate)) return candidate;
    }
  }
  return npos;
}
#endif

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
