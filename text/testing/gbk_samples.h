// GBK characters for tests, chosen for their second bytes: ASCII letters and
// the pattern characters \ | [ ] { } @. gbk_samples_test checks them with ICU.
#pragma once

#include <random>
#include <string>
#include <string_view>

namespace qm::gbk {

inline constexpr char kZhong[] = "\xD6\xD0";   // 中
inline constexpr char kWen[] = "\xCE\xC4";     // 文
inline constexpr char kTi[] = "\xEE\x7D";      // 題, second byte '}'
inline constexpr char kZhe[] = "\xDF\x40";     // 這, second byte '@'
inline constexpr char kMa[] = "\xB4\x61";      // 碼, second byte 'a'
inline constexpr char kNao[] = "\xC4\x58";     // 腦, second byte 'X'
inline constexpr char kCheng[] = "\x81\x5C";   // 乗, second byte '\'
inline constexpr char kYi[] = "\x83\x7C";      // 億, second byte '|'
inline constexpr char kHu[] = "\x81\x5B";      // 乕, second byte '['
inline constexpr char kYin[] = "\x81\x5D";     // 乚, second byte ']'
inline constexpr char kYi4[] = "\x81\x7B";     // 亄, second byte '{'
inline constexpr char kQuoteWord[] = "\x23\xD2\xFD\xBA\xC5";  // #引号
inline constexpr char kIdeographicSpace[] = "\xA1\xA1";       // U+3000

// The parts one after the other, as one byte string.
template <class... Parts>
std::string S(const Parts&... parts) {
  return (std::string() + ... + std::string(parts));
}

// Up to max_length bytes drawn from the alphabet.
inline std::string random_text(std::mt19937& random, std::string_view alphabet, int max_length) {
  std::string s(static_cast<std::size_t>(std::uniform_int_distribution<int>(0, max_length)(random)), 'a');
  for (char& c : s) c = alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(random)];
  return s;
}

}  // namespace qm::gbk
