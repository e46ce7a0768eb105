// Internal to text/: byte-offset searches shared by the primitives, the
// slicing routines and the regular-expression object. Offsets here are
// 0-based; the public routines add 1.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

// Searches use AVX2 where the processor has it (checked at run time).
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QM_HAVE_AVX2 1
#else
#define QM_HAVE_AVX2 0
#endif

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
// boundaries. Candidates are found 16 at a time by comparing two of the
// needle's bytes, those least common in markup (letters by their folded form
// when ignoring case), then checked whole. Both views must outlive the
// searcher.
class RawSearcher {
 public:
  RawSearcher(std::string_view hay, std::string_view needle, bool ignore_case);
  // First offset >= from where the needle occurs; npos when none.
  std::size_t next(std::size_t from) const noexcept;

 private:
  bool matches_at(std::size_t at) const noexcept;
#if QM_HAVE_AVX2
  std::size_t next_avx2(std::size_t& at, std::size_t last_start) const noexcept;
#endif

  std::string_view hay_;
  std::string_view needle_;
  std::string folded_;  // the needle folded, when ignoring case
  bool fold_ = false;
  // The two compared needle offsets; per offset the bits or-ed into the
  // haystack byte before comparing (0x20 for a letter when ignoring case)
  // and the byte to compare with.
  std::size_t offset_[2] = {0, 0};
  unsigned char or_[2] = {0, 0};
  unsigned char byte_[2] = {0, 0};
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
