// Internal to text/: GBK to UTF-16 and back, with the map from UTF-16
// indexes to byte offsets that the regular-expression object reports.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qm::text_internal {

// The UTF-16 form of a GBK text, exactly as ICU's "windows-936-2000"
// converter reads it (a byte sequence that is not GBK becomes U+FFFD, or the
// character ICU maps it to), with where each unit's bytes begin.
class Utf16Text {
 public:
  std::u16string_view units() const noexcept { return {units_.get(), size_}; }
  // Byte offset in the GBK text where unit u begins; the GBK length for
  // u >= units().size(). Quickest when asked for growing u.
  std::int32_t byte_offset(std::size_t u) const noexcept;
  // Converts `gbk` into this object, reusing its memory.
  void assign(std::string_view gbk);
  // Gives back memory beyond `bytes` of units.
  void shrink(std::size_t bytes) noexcept;

 private:
  // Unit `unit` begins at byte `byte`, and the units after it, up to the
  // next anchor, `step` bytes apart.
  struct Anchor {
    std::int32_t unit;
    std::int32_t byte;
    std::int32_t step;
  };
  void anchor(std::size_t unit, std::size_t byte, std::int32_t step);

  std::unique_ptr<char16_t[]> units_;  // not zeroed: only [0, size_) is written
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  std::vector<Anchor> anchors_;
  std::int32_t byte_length_ = 0;
  mutable std::size_t hint_ = 0;  // anchor of the last look-up
};

// Most of the work is a table look-up built once from ICU; stretches that
// hold bytes which are not GBK go through ICU itself. Thread-safe.
Utf16Text gbk_to_utf16(std::string_view gbk);

// True when ICU reads the two bytes as one GBK character.
bool is_gbk_pair(char lead, char trail) noexcept;

// True when every character of the text, by character stepping, is a byte
// below 0x80 or a pair that is_gbk_pair accepts: then ICU reads exactly the
// characters that stepping finds.
bool is_plain_gbk(std::string_view text) noexcept;

// UTF-16 to GBK; a character that GBK cannot hold becomes "?".
std::string utf16_to_gbk(std::u16string_view utf16);

}  // namespace qm::text_internal
