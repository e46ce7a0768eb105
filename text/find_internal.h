// Internal to text/: byte-offset searches shared by the primitives, the
// slicing routines and the regular-expression object. Offsets here are
// 0-based; the public routines add 1.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qm::text_internal {

inline constexpr std::size_t npos = std::string_view::npos;

inline bool is_lead(char c) noexcept { return static_cast<unsigned char>(c) >= 0x80; }

// ASCII-only folding: A-Z to a-z, every other byte unchanged.
inline char fold(char c) noexcept {
  const auto u = static_cast<unsigned char>(c);
  return static_cast<char>(static_cast<unsigned>(u - 'A') < 26u ? u | 0x20u : u);
}

// Copies n bytes from src to dst, folded.
void fold_copy(const char* src, std::size_t n, char* dst) noexcept;

// Where a needle occurs in a haystack, byte by byte, ignoring character
// boundaries. Case-insensitive searches fold the haystack in windows that
// grow while nothing is found, so that searching on from a hit costs little.
// Both views must outlive the searcher.
class RawSearcher {
 public:
  RawSearcher(std::string_view hay, std::string_view needle, bool ignore_case);
  // First offset >= from where the needle occurs; npos when none.
  std::size_t next(std::size_t from);

 private:
  std::string_view hay_;
  std::string_view needle_;
  std::string folded_needle_;
  bool fold_ = false;
  std::string window_;          // folded hay_[win_begin_, win_begin_ + win_len_)
  std::size_t win_begin_ = 0;
  std::size_t win_len_ = 0;
  std::size_t chunk_ = 64;      // size of the next window
};

// Where a non-empty needle occurs at character starts reached by stepping
// from a start offset: a byte of 0x80 or above begins a two-byte character,
// whatever precedes it.
//
// A candidate c is a character start when the byte before it is below 0x80
// (that byte ends a character, being either a one-byte character or a
// second byte), or when the run of high bytes before c that begins at a known
// character start has even length. known_ is the latest offset known to be a
// character start; it only grows, so checking costs O(text) in total.
class CharSearcher {
 public:
  CharSearcher(std::string_view hay, std::string_view needle, bool ignore_case,
               std::size_t start)
      : hay_(hay), raw_(hay, needle, ignore_case), known_(start) {}
  // First character start >= from where the needle matches; npos when none.
  // from must not lie before the start or the latest restart.
  std::size_t next(std::size_t from);
  // Stepping begins afresh at `at` (after a replaced stretch).
  void restart(std::size_t at) noexcept { known_ = at; }

 private:
  bool is_char_start(std::size_t c) noexcept;

  std::string_view hay_;
  RawSearcher raw_;
  std::size_t known_;
};

// text_find on views with 0-based offsets: the first match at a character
// start reached from `start`; npos when none. Needle must not be empty.
inline std::size_t find_from(std::string_view hay, std::string_view needle,
                             std::size_t start, bool ignore_case) {
  if (start >= hay.size()) return npos;
  return CharSearcher(hay, needle, ignore_case, start).next(start);
}

// text_find's full rules on a view: 1-based start (<= 1 means 1), 1-based
// result, -1 for none, an empty needle found at 1.
int find_position(std::string_view hay, std::string_view needle, int start, bool ignore_case);

}  // namespace qm::text_internal
