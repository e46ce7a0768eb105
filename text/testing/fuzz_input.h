// Splits a fuzz input into a few numbers and two texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "text/text.h"

namespace qm::fuzz {

struct Input {
  unsigned flags = 0;  // bits for the case flag and such
  int start = 1;       // -3 .. 60
  int count = -1;      // -1 .. 6
  Text first;          // a short search text, marker or pattern
  Text second;         // the text searched
};

// Byte 0: flags; byte 1: start; byte 2: count; byte 3: length of the first
// text (at most 15 bytes); then the first text and the second.
inline Input split(const std::uint8_t* data, std::size_t size) {
  Input in;
  if (size < 4) return in;
  in.flags = data[0];
  in.start = data[1] % 64 - 3;
  in.count = data[2] % 8 - 1;
  const std::size_t first = std::min<std::size_t>(data[3] % 16, size - 4);
  const auto* bytes = reinterpret_cast<const char*>(data + 4);
  in.first = Text(std::string_view(bytes, first));
  in.second = Text(std::string_view(bytes + first, size - 4 - first));
  return in;
}

// Ends the run as a crash when a routine and its reference disagree.
inline void expect(bool same) {
  if (!same) std::abort();
}

}  // namespace qm::fuzz
