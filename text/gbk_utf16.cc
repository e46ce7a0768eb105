#include "text/gbk_utf16.h"

#include <unicode/localpointer.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace qm::text_internal {
namespace {

constexpr const char* kGbk = "windows-936-2000";

icu::LocalUConverterPointer open_gbk() {
  UErrorCode status = U_ZERO_ERROR;
  icu::LocalUConverterPointer converter(ucnv_open(kGbk, &status));
  if (U_FAILURE(status)) converter.adoptInstead(nullptr);
  return converter;
}

// Converts one complete stretch with ICU from a fresh state; offsets[k] is
// the stretch offset where unit k begins. Returns the number of units.
std::size_t icu_to_utf16(UConverter* converter, std::string_view bytes, char16_t* out,
                         std::size_t capacity, std::int32_t* offsets) {
  ucnv_reset(converter);
  UErrorCode status = U_ZERO_ERROR;
  const char* src = bytes.data();
  char16_t* target = out;
  ucnv_toUnicode(converter, &target, out + capacity, &src, bytes.data() + bytes.size(), offsets,
                 true, &status);
  return U_FAILURE(status) ? 0 : static_cast<std::size_t>(target - out);
}

// Indexed by lead byte * 256 + next byte: the UTF-16 unit of the pair when
// ICU reads the two bytes as one character, else 0 (always 0 for a first
// byte below 0x80). 128 KiB, so that a look-up needs no range checks.
using PairTable = std::array<char16_t, 256 * 256>;

const PairTable& pair_table() {
  static const std::unique_ptr<PairTable> table = [] {
    auto t = std::make_unique<PairTable>();
    t->fill(0);
    icu::LocalUConverterPointer converter = open_gbk();
    if (!converter.isValid()) return t;
    for (int lead = 0x80; lead <= 0xFF; ++lead) {
      for (int trail = 0x40; trail <= 0xFF; ++trail) {
        const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        char16_t out[4];
        std::int32_t offsets[4];
        if (icu_to_utf16(converter.getAlias(), std::string_view(pair, 2), out, 4, offsets) == 1 &&
            out[0] != u'\uFFFD') {
          (*t)[static_cast<std::size_t>(lead * 256 + trail)] = out[0];
        }
      }
    }
    return t;
  }();
  return *table;
}

// Widens the run of bytes below 0x80 that begins at i; returns its end.
// Whole blocks of 16 are written, the run's end lying inside the last one;
// the units beyond the run are overwritten later. Needs out to hold
// s.size() - i units.
std::size_t widen_ascii(std::string_view s, std::size_t i, char16_t* out) {
  const std::size_t begin = i;
#ifdef __SSE2__
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= s.size(); i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (i - begin)), _mm_unpacklo_epi8(v, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (i - begin) + 8), _mm_unpackhi_epi8(v, zero));
    const int high = _mm_movemask_epi8(v);
    if (high != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(high)));
  }
#endif
  for (; i < s.size() && static_cast<unsigned char>(s[i]) < 0x80; ++i) {
    out[i - begin] = static_cast<char16_t>(s[i]);
  }
  return i;
}

}  // namespace

bool is_gbk_pair(char lead, char trail) noexcept {
  const auto l = static_cast<unsigned char>(lead);
  if (l < 0x80) return false;
  return pair_table()[static_cast<std::size_t>(l * 256) + static_cast<unsigned char>(trail)] != 0;
}

namespace {

constexpr std::size_t npos_run = static_cast<std::size_t>(-1);

// Character by character, with the pair table.
bool is_plain_gbk_stepping(const unsigned char* bytes, std::size_t n) noexcept {
  const PairTable& table = pair_table();
  for (std::size_t i = 0; i < n;) {
    if (bytes[i] < 0x80) {
      ++i;
    } else if (i + 1 < n && table[static_cast<std::size_t>(bytes[i]) * 256 + bytes[i + 1]] != 0) {
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

// The first offset >= i whose byte is below 0x80.
std::size_t next_low(const unsigned char* bytes, std::size_t n, std::size_t i) noexcept {
#ifdef __SSE2__
  for (; i + 16 <= n; i += 16) {
    const auto high = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i))));
    if (high != 0xFFFFu) return i + static_cast<std::size_t>(__builtin_ctz(~high));
  }
#endif
  for (; i < n && bytes[i] >= 0x80; ++i) {
  }
  return i;
}

// The end of the run of high bytes that begins at i, or npos when the run
// holds a byte 80 or FF.
std::size_t run_end_without_80_ff(const unsigned char* bytes, std::size_t n, std::size_t i) noexcept {
#ifdef __SSE2__
  const __m128i b80 = _mm_set1_epi8(static_cast<char>(0x80));
  const __m128i bff = _mm_set1_epi8(static_cast<char>(0xFF));
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    const auto high = static_cast<unsigned>(_mm_movemask_epi8(v));
    const auto bad = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, b80), _mm_cmpeq_epi8(v, bff))));
    if (high != 0xFFFFu) {
      const unsigned in_run = (1u << __builtin_ctz(~high)) - 1;
      return (bad & in_run) != 0 ? npos_run : i + static_cast<std::size_t>(__builtin_ctz(~high));
    }
    if (bad != 0) return npos_run;
  }
#endif
  for (; i < n && bytes[i] >= 0x80; ++i) {
    if (bytes[i] == 0x80 || bytes[i] == 0xFF) return npos_run;
  }
  return i;
}

// The first offset >= i whose byte is 0x80 or above.
std::size_t next_high(const unsigned char* bytes, std::size_t n, std::size_t i) noexcept {
#ifdef __SSE2__
  for (; i + 16 <= n; i += 16) {
    const int high = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i)));
    if (high != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(high)));
  }
#endif
  for (; i < n && bytes[i] < 0x80; ++i) {
  }
  return i;
}

}  // namespace

bool is_plain_gbk(std::string_view text) noexcept {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  // ICU reads GBK pairs exactly as the structure says: a first byte 81-FE,
  // a second byte 40-FE but 7F. A run of high bytes begins a character (the
  // byte before it, below 0x80, is a whole character or a second byte).
  // Without bytes 80 and FF in it the run holds only good pairs, and only a
  // run of odd length needs a look at the byte after it, its last second
  // byte. Runs with 80 or FF are judged character by character.
  for (std::size_t i = next_high(bytes, n, 0); i < n;) {
    const std::size_t end = run_end_without_80_ff(bytes, n, i);
    if (end == npos_run) {
      const std::size_t stop = next_low(bytes, n, i);
      if (!is_plain_gbk_stepping(bytes + i, std::min(n, stop + 1) - i)) return false;
      i = next_high(bytes, n, std::min(n, stop + 1));
      continue;
    }
    if ((end - i) % 2 == 0) {
      i = next_high(bytes, n, end);
      continue;
    }
    if (end == n || bytes[end] < 0x40 || bytes[end] == 0x7F) return false;
    i = next_high(bytes, n, end + 1);
  }
  return true;
}

void Utf16Text::anchor(std::size_t unit, std::size_t byte, std::int32_t step) {
  const auto u = static_cast<std::int32_t>(unit);
  const auto b = static_cast<std::int32_t>(byte);
  if (!anchors_.empty()) {
    Anchor& last = anchors_.back();
    if (last.unit == u) {
      last = {u, b, step};
      return;
    }
    if (last.step != 0 && last.byte + last.step * (u - last.unit) == b) {
      if (step == last.step || step == 0) return;
    }
    if (last.step == 0 && u == last.unit + 1 && (b - last.byte == 1 || b - last.byte == 2)) {
      last.step = b - last.byte;
      if (step == 0 || step == last.step) return;
    }
  }
  anchors_.push_back({u, b, step});
}

std::int32_t Utf16Text::byte_offset(std::size_t u) const noexcept {
  if (u >= size_) return byte_length_;
  const auto unit = static_cast<std::int32_t>(u);
  // anchors_[0] is unit 0. Walk on from the last anchor for a few steps
  // (look-ups mostly grow), else search.
  std::size_t a = hint_ < anchors_.size() && anchors_[hint_].unit <= unit ? hint_ : 0;
  for (int steps = 0; a + 1 < anchors_.size() && anchors_[a + 1].unit <= unit; ++a) {
    if (++steps == 8) {
      const auto it = std::upper_bound(anchors_.begin() + static_cast<std::ptrdiff_t>(a), anchors_.end(), unit,
                                       [](std::int32_t v, const Anchor& x) { return v < x.unit; });
      a = static_cast<std::size_t>(it - anchors_.begin()) - 1;
      break;
    }
  }
  hint_ = a;
  return anchors_[a].byte + anchors_[a].step * (unit - anchors_[a].unit);
}

void Utf16Text::shrink(std::size_t bytes) noexcept {
  if (capacity_ * sizeof(char16_t) <= bytes) return;
  units_.reset();
  capacity_ = size_ = 0;
  anchors_.clear();
  anchors_.shrink_to_fit();
}

Utf16Text gbk_to_utf16(std::string_view gbk) {
  Utf16Text text;
  text.assign(gbk);
  return text;
}

void Utf16Text::assign(std::string_view gbk) {
  const PairTable& table = pair_table();
  byte_length_ = static_cast<std::int32_t>(gbk.size());
  anchors_.clear();
  hint_ = 0;
  // ICU never makes more than one unit of a byte of GBK input.
  if (capacity_ < gbk.size()) {
    units_.reset(new char16_t[gbk.size()]);
    capacity_ = gbk.size();
  }
  char16_t* out = units_.get();
  std::size_t u = 0;
  std::size_t i = 0;
  icu::LocalUConverterPointer converter;
  std::vector<std::int32_t> offsets;
  while (i < gbk.size()) {
    const auto byte = static_cast<unsigned char>(gbk[i]);
    if (byte < 0x80) {
      anchor(u, i, 1);
      const std::size_t end = widen_ascii(gbk, i, out + u);
      u += end - i;
      i = end;
      continue;
    }
    anchor(u, i, 2);
    const auto* bytes = reinterpret_cast<const unsigned char*>(gbk.data());
    for (; i + 1 < gbk.size(); i += 2) {
      const char16_t unit = table[static_cast<std::size_t>(bytes[i]) * 256 + bytes[i + 1]];
      if (unit == 0) break;
      out[u++] = unit;
    }
    if (i >= gbk.size() || static_cast<unsigned char>(gbk[i]) < 0x80) continue;
    // Bytes that are not a GBK pair: ICU reads them up to the next byte
    // below 0x40, which is never a second byte, so ICU is in its starting
    // state there as in a whole-text conversion.
    std::size_t end = i + 1;
    while (end < gbk.size() && static_cast<unsigned char>(gbk[end]) >= 0x40) ++end;
    if (!converter.isValid()) converter = open_gbk();
    const std::string_view stretch = gbk.substr(i, end - i);
    offsets.resize(stretch.size());
    std::size_t made = 0;
    if (converter.isValid()) {
      made = icu_to_utf16(converter.getAlias(), stretch, out + u, stretch.size(), offsets.data());
    }
    if (made == 0) {  // no converter: one U+FFFD per byte
      made = stretch.size();
      for (std::size_t k = 0; k < made; ++k) {
        out[u + k] = u'\uFFFD';
        offsets[k] = static_cast<std::int32_t>(k);
      }
    }
    for (std::size_t k = 0; k < made; ++k) anchor(u + k, i + static_cast<std::size_t>(offsets[k]), 0);
    u += made;
    i = end;
  }
  size_ = u;
  if (anchors_.empty()) anchors_.push_back({0, 0, 1});
}

std::string utf16_to_gbk(std::u16string_view utf16) {
  icu::LocalUConverterPointer converter = open_gbk();
  if (!converter.isValid() || utf16.empty()) return {};
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setSubstChars(converter.getAlias(), "?", 1, &status);
  status = U_ZERO_ERROR;
  std::string out(utf16.size() * 2, '\0');
  const std::int32_t made = ucnv_fromUChars(converter.getAlias(), out.data(), static_cast<std::int32_t>(out.size()),
                                            utf16.data(), static_cast<std::int32_t>(utf16.size()), &status);
  if (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING) return {};
  out.resize(static_cast<std::size_t>(made));
  return out;
}

}  // namespace qm::text_internal
