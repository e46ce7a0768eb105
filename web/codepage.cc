// Code-page conversions on ICU: GBK ("windows-936-2000"), Big5
// ("windows-950-2000") and UTF-8 through UTF-16, and traditional-to-simplified
// mapping with the "Hant-Hans" transliterator, one character for one.
//
// Undecodable input becomes U+FFFD on the way into UTF-16; a character the
// target code page lacks (U+FFFD included) becomes "?" on the way out.
// Converters are opened per call (ICU caches their tables); the transliterator
// is built once per process and cloned once per thread, since one instance
// must not be used by two threads at a time.

#include <unicode/localpointer.h>
#include <unicode/translit.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "web/web.h"

namespace qm {
namespace {

const char* converter_name(int code_page) {
  switch (code_page) {
    case kCodePageAnsi:
    case kCodePageGbk:
      return "windows-936-2000";
    case kCodePageBig5:
      return "windows-950-2000";
    case kCodePageUtf8:
      return "UTF-8";
    default:
      return nullptr;
  }
}

// Every undecodable sequence becomes one U+FFFD (ICU would write U+001A for
// some single bytes of the double-byte code pages).
void to_unicode_fffd(const void* /*context*/, UConverterToUnicodeArgs* args,
                     const char* /*bytes*/, int32_t /*length*/,
                     UConverterCallbackReason reason, UErrorCode* status) {
  if (reason > UCNV_IRREGULAR) return;  // reset, close, clone: nothing to write
  *status = U_ZERO_ERROR;
  const UChar replacement = 0xFFFD;
  ucnv_cbToUWriteUChars(args, &replacement, 1, 0, status);
}

// A converter for `code_page` set up as described at the top; null for a
// code page not understood here.
icu::LocalUConverterPointer open_converter(int code_page) {
  const char* name = converter_name(code_page);
  if (name == nullptr) return icu::LocalUConverterPointer();
  UErrorCode status = U_ZERO_ERROR;
  icu::LocalUConverterPointer converter(ucnv_open(name, &status));
  if (U_FAILURE(status)) return icu::LocalUConverterPointer();
  ucnv_setToUCallBack(converter.getAlias(), to_unicode_fffd, nullptr, nullptr, nullptr,
                      &status);
  ucnv_setSubstChars(converter.getAlias(), "?", 1, &status);
  if (U_FAILURE(status)) return icu::LocalUConverterPointer();
  return converter;
}

icu::UnicodeString decode(std::string_view bytes, int code_page) {
  icu::LocalUConverterPointer converter = open_converter(code_page);
  if (converter.isNull() || bytes.empty()) return icu::UnicodeString();
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeString units(bytes.data(), static_cast<int32_t>(bytes.size()),
                           converter.getAlias(), status);
  if (U_FAILURE(status)) return icu::UnicodeString();
  return units;
}

std::string encode(const icu::UnicodeString& units, int code_page) {
  icu::LocalUConverterPointer converter = open_converter(code_page);
  if (converter.isNull() || units.isEmpty()) return std::string();
  UErrorCode status = U_ZERO_ERROR;
  const int32_t needed = units.extract(nullptr, 0, converter.getAlias(), status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return std::string();
  std::string out(static_cast<std::size_t>(needed), '\0');
  status = U_ZERO_ERROR;
  units.extract(out.data(), needed, converter.getAlias(), status);
  if (U_FAILURE(status)) return std::string();
  return out;  // Text() keeps the bytes before any NUL
}

// UTF-16LE bytes of `units` followed by the terminating zero unit.
ByteString to_le_units(const icu::UnicodeString& units) {
  std::string bytes;
  bytes.reserve(2 * (static_cast<std::size_t>(units.length()) + 1));
  for (int32_t i = 0; i < units.length(); ++i) {
    const char16_t unit = units.charAt(i);
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  bytes.append(2, '\0');
  return ByteString(std::move(bytes));
}

// The units of a UTF-16LE byte string up to its first zero unit; a lone
// trailing byte is ignored.
icu::UnicodeString from_le_units(const ByteString& le) {
  const std::string& bytes = le.bytes();
  icu::UnicodeString units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8));
    if (unit == 0) break;
    units.append(unit);
  }
  return units;
}

// The calling thread's traditional-to-simplified transliterator; null when
// ICU cannot build it.
const icu::Transliterator* simplifier() {
  static std::once_flag once;
  static std::unique_ptr<icu::Transliterator> prototype;
  std::call_once(once, [] {
    UErrorCode status = U_ZERO_ERROR;
    prototype.reset(icu::Transliterator::createInstance("Hant-Hans", UTRANS_FORWARD, status));
    if (U_FAILURE(status)) prototype.reset();
  });
  if (!prototype) return nullptr;
  thread_local std::unique_ptr<icu::Transliterator> mine(prototype->clone());
  return mine.get();
}

// The GBK bytes of the simplified form of `c`; empty when it has none of
// its own or GBK lacks it.
std::string simplified_bytes(const icu::Transliterator& mapper, UConverter* gbk, UChar32 c) {
  icu::UnicodeString mapped(c);
  mapper.transliterate(mapped);
  if (mapped.countChar32() != 1 || mapped.char32At(0) == c) return std::string();
  char buffer[8];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t n = mapped.extract(buffer, sizeof buffer, gbk, status);
  if (U_FAILURE(status) || n <= 0 || (n == 1 && buffer[0] == '?')) return std::string();
  return std::string(buffer, static_cast<std::size_t>(n));
}

}  // namespace

ByteString codepage_to_utf16(const Text& text, std::optional<int> code_page) {
  const int page = code_page.value_or(kCodePageUtf8);
  if (converter_name(page) == nullptr) return ByteString();
  return to_le_units(decode(text.view(), page));
}

Text codepage_from_utf16(const ByteString& units, std::optional<int> code_page) {
  return Text(encode(from_le_units(units), code_page.value_or(kCodePageAnsi)));
}

Text codepage_utf8_to_gbk(const Text& utf8) {
  return codepage_from_utf16(codepage_to_utf16(utf8, kCodePageUtf8), kCodePageGbk);
}

Text codepage_big5_to_gbk(const Text& big5) {
  // A character GBK lacks becomes "?" here too, rather than ending the text.
  return codepage_from_utf16(codepage_to_utf16(big5, kCodePageBig5), kCodePageGbk);
}

Text codepage_simplify(const Text& gbk) {
  const icu::Transliterator* mapper = simplifier();
  if (mapper == nullptr || gbk.empty()) return gbk;  // no mapping: the text unchanged

  // Decode with source offsets, so that every character keeps its own bytes
  // unless its simplified form has a GBK encoding of the same length.
  icu::LocalUConverterPointer converter = open_converter(kCodePageGbk);
  if (converter.isNull()) return gbk;
  const std::string_view in = gbk.view();
  std::vector<UChar> units(in.size() + 1);
  std::vector<int32_t> offsets(in.size() + 1);
  UChar* target = units.data();
  int32_t* offset_out = offsets.data();
  const char* source = in.data();
  UErrorCode status = U_ZERO_ERROR;
  ucnv_toUnicode(converter.getAlias(), &target, units.data() + units.size(), &source,
                 in.data() + in.size(), offset_out, true, &status);
  if (U_FAILURE(status)) return gbk;
  const auto count = static_cast<int32_t>(target - units.data());

  icu::LocalUConverterPointer encoder = open_converter(kCodePageGbk);
  if (encoder.isNull()) return gbk;
  std::unordered_map<UChar32, std::string> mapped_bytes;
  std::string out;
  out.reserve(in.size());
  int32_t i = 0;
  while (i < count) {
    const int32_t start = i;
    UChar32 c = 0;
    U16_NEXT(units.data(), i, count, c);
    const auto from = static_cast<std::size_t>(offsets[static_cast<std::size_t>(start)]);
    const std::size_t to =
        i < count ? static_cast<std::size_t>(offsets[static_cast<std::size_t>(i)]) : in.size();
    const std::string_view original = in.substr(from, to - from);
    if (c < 0x80) {
      out.append(original);
      continue;
    }
    // Pages repeat their characters: each distinct one is mapped once.
    auto [entry, fresh] = mapped_bytes.try_emplace(c);
    if (fresh) entry->second = simplified_bytes(*mapper, encoder.getAlias(), c);
    const std::string& bytes = entry->second;
    if (bytes.size() != original.size()) {
      out.append(original);
      continue;
    }
    out.append(bytes);
  }
  return Text(std::move(out));
}

Text codepage_big5_to_simplified(const Text& big5) {
  return codepage_simplify(codepage_big5_to_gbk(big5));
}

Text gbk_from_utf8(std::string_view utf8) {
  return Text(encode(decode(Text(utf8).view(), kCodePageUtf8), kCodePageGbk));
}

std::string utf8_from_gbk(const Text& gbk) {
  return encode(decode(gbk.view(), kCodePageGbk), kCodePageUtf8);
}

}  // namespace qm
