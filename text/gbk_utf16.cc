#include "text/gbk_utf16.h"

#include <unicode/localpointer.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <array>
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

// For lead byte L (0x80-0xFF) and next byte T, the UTF-16 unit of the pair
// when ICU reads the two bytes as one character, else 0.
using PairTable = std::array<char16_t, 128 * 256>;

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
          (*t)[static_cast<std::size_t>((lead - 0x80) * 256 + trail)] = out[0];
        }
      }
    }
    return t;
  }();
  return *table;
}

// Widens the run of bytes below 0x80 that begins at i; returns its end.
std::size_t widen_ascii(std::string_view s, std::size_t i, char16_t* out) {
  const std::size_t begin = i;
#ifdef __SSE2__
  const __m128i zero = _mm_setzero_si128();
  while (i + 16 <= s.size()) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
    if (_mm_movemask_epi8(v) != 0) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (i - begin)), _mm_unpacklo_epi8(v, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (i - begin) + 8), _mm_unpackhi_epi8(v, zero));
    i += 16;
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
  return pair_table()[static_cast<std::size_t>((l - 0x80) * 256) + static_cast<unsigned char>(trail)] != 0;
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
  if (u >= units_.size()) return byte_length_;
  const auto unit = static_cast<std::int32_t>(u);
  auto it = std::upper_bound(anchors_.begin(), anchors_.end(), unit,
                             [](std::int32_t v, const Anchor& a) { return v < a.unit; });
  --it;  // anchors_[0] is unit 0
  return it->byte + it->step * (unit - it->unit);
}

Utf16Text gbk_to_utf16(std::string_view gbk) {
  const PairTable& table = pair_table();
  Utf16Text text;
  text.byte_length_ = static_cast<std::int32_t>(gbk.size());
  // ICU never makes more than one unit of a byte of GBK input.
  text.units_.resize(gbk.size());
  char16_t* out = text.units_.data();
  std::size_t u = 0;
  std::size_t i = 0;
  icu::LocalUConverterPointer converter;
  std::vector<std::int32_t> offsets;
  while (i < gbk.size()) {
    const auto byte = static_cast<unsigned char>(gbk[i]);
    if (byte < 0x80) {
      text.anchor(u, i, 1);
      const std::size_t end = widen_ascii(gbk, i, out + u);
      u += end - i;
      i = end;
      continue;
    }
    text.anchor(u, i, 2);
    while (i + 1 < gbk.size()) {
      const auto lead = static_cast<unsigned char>(gbk[i]);
      if (lead < 0x80) break;
      const char16_t unit = table[static_cast<std::size_t>((lead - 0x80) * 256) +
                                  static_cast<unsigned char>(gbk[i + 1])];
      if (unit == 0) break;
      out[u++] = unit;
      i += 2;
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
    for (std::size_t k = 0; k < made; ++k) text.anchor(u + k, i + static_cast<std::size_t>(offsets[k]), 0);
    u += made;
    i = end;
  }
  text.units_.resize(u);
  if (text.anchors_.empty()) text.anchors_.push_back({0, 0, 1});
  return text;
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
