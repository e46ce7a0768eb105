// Internal to text/: GBK to UTF-16 and back, with the map from UTF-16
// indexes to byte offsets that the regular-expression object reports.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm::text_internal {

// The UTF-16 form of a GBK text, exactly as ICU's "windows-936-2000"
// converter reads it (a byte sequence that is not GBK becomes U+FFFD, or the
// character ICU maps it to), with where each unit's bytes begin.
class Utf16Text {
 public:
  const std::u16string& units() const noexcept { return units_; }
  // Byte offset in the GBK text where unit u begins; the GBK length for
  // u == units().size().
  std::int32_t byte_offset(std::size_t u) const noexcept;

 private:
  friend Utf16Text gbk_to_utf16(std::string_view gbk);
  // Unit `unit` begins at byte `byte`, and the units after it, up to the
  // next anchor, `step` bytes apart.
  struct Anchor {
    std::int32_t unit;
    std::int32_t byte;
    std::int32_t step;
  };
  void anchor(std::size_t unit, std::size_t byte, std::int32_t step);

  std::u16string units_;
  std::vector<Anchor> anchors_;
  std::int32_t byte_length_ = 0;
};

// Most of the work is a table look-up built once from ICU; stretches that
// hold bytes which are not GBK go through ICU itself. Thread-safe.
Utf16Text gbk_to_utf16(std::string_view gbk);

// True when ICU reads the two bytes as one GBK character.
bool is_gbk_pair(char lead, char trail) noexcept;

// UTF-16 to GBK; a character that GBK cannot hold becomes "?".
std::string utf16_to_gbk(std::u16string_view utf16);

}  // namespace qm::text_internal
