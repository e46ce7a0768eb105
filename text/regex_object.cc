// RegexObject on PCRE2 (16-bit, JIT) over the UTF-16 form of GBK text.
//
// Options: PCRE2_UTF always; PCRE2_CASELESS unless case-sensitive;
// PCRE2_MULTILINE when multi-line. The newline convention is LF only, so a
// dot matches everything but a line feed and "^"/"$" in multi-line mode
// match at line feeds. Matches are kept as byte offsets into the searched
// GBK text, so values are cut from its own bytes and positions are true
// byte offsets. A match, depth or heap limit ends the search: the matches
// found before it stay, no more are looked for.
#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "text/gbk_utf16.h"
#include "text/regex_internal.h"
#include "text/text.h"

namespace qm {
namespace {

using text_internal::Utf16Text;

constexpr std::uint32_t kMatchLimit = 5'000'000;
constexpr std::uint32_t kDepthLimit = 100'000;
constexpr std::uint32_t kHeapLimitKiB = 64 * 1024;
constexpr std::size_t kJitStackMin = 32 * 1024;
constexpr std::size_t kJitStackMax = 1024 * 1024;

struct CodeFree {
  void operator()(pcre2_code* p) const noexcept { pcre2_code_free(p); }
};
struct CompileContextFree {
  void operator()(pcre2_compile_context* p) const noexcept { pcre2_compile_context_free(p); }
};
struct MatchContextFree {
  void operator()(pcre2_match_context* p) const noexcept { pcre2_match_context_free(p); }
};
struct MatchDataFree {
  void operator()(pcre2_match_data* p) const noexcept { pcre2_match_data_free(p); }
};
struct JitStackFree {
  void operator()(pcre2_jit_stack* p) const noexcept { pcre2_jit_stack_free(p); }
};
using CodePtr = std::unique_ptr<pcre2_code, CodeFree>;
using CompileContextPtr = std::unique_ptr<pcre2_compile_context, CompileContextFree>;
using MatchContextPtr = std::unique_ptr<pcre2_match_context, MatchContextFree>;
using MatchDataPtr = std::unique_ptr<pcre2_match_data, MatchDataFree>;
using JitStackPtr = std::unique_ptr<pcre2_jit_stack, JitStackFree>;

PCRE2_SPTR units_of(std::u16string_view s) { return reinterpret_cast<PCRE2_SPTR>(s.data()); }

CodePtr compile(const Text& pattern, bool ignore_case, bool multi_line) {
  const Utf16Text converted = text_internal::gbk_to_utf16(pattern.view());
  const std::u16string_view units = converted.units();
  CompileContextPtr context(pcre2_compile_context_create(nullptr));
  if (!context) return nullptr;
  pcre2_set_newline(context.get(), PCRE2_NEWLINE_LF);
  std::uint32_t options = PCRE2_UTF;
  if (ignore_case) options |= PCRE2_CASELESS;
  if (multi_line) options |= PCRE2_MULTILINE;
  int error = 0;
  PCRE2_SIZE error_offset = 0;
  CodePtr code(pcre2_compile(units_of(units), units.size(), options, &error, &error_offset,
                             context.get()));
  // Without JIT (not built in, or out of memory) the interpreter runs.
  if (code) pcre2_jit_compile(code.get(), PCRE2_JIT_COMPLETE);
  return code;
}

// Runs `code` over `subject` and calls on_match(match_data) for every match
// in order (only the first unless global), until on_match returns false, no
// match is left or an error (a limit among them) ends the search.
template <class OnMatch>
void for_each_match(const pcre2_code* code, std::u16string_view subject, bool global,
                    OnMatch&& on_match) {
  MatchDataPtr data(pcre2_match_data_create_from_pattern(code, nullptr));
  MatchContextPtr context(pcre2_match_context_create(nullptr));
  JitStackPtr stack(pcre2_jit_stack_create(kJitStackMin, kJitStackMax, nullptr));
  if (!data || !context) return;
  pcre2_set_match_limit(context.get(), kMatchLimit);
  pcre2_set_depth_limit(context.get(), kDepthLimit);
  pcre2_set_heap_limit(context.get(), kHeapLimitKiB);
  if (stack) pcre2_jit_stack_assign(context.get(), nullptr, stack.get());

  const PCRE2_SPTR units = units_of(subject);
  const PCRE2_SIZE length = subject.size();
  PCRE2_SIZE start = 0;
  std::uint32_t options = 0;
  // The converter makes valid UTF-16 (GBK has no character beyond U+FFFF).
  constexpr std::uint32_t kNoCheck = PCRE2_NO_UTF_CHECK;
  for (;;) {
    const int rc = pcre2_match(code, units, length, start, options | kNoCheck, data.get(),
                               context.get());
    if (rc == PCRE2_ERROR_NOMATCH && options != 0) {
      // No non-empty match at `start` after an empty one: move one
      // character on and search normally.
      options = 0;
      ++start;
      if (start < length && (units[start] & 0xFC00u) == 0xDC00u) ++start;
      if (start > length) return;
      continue;
    }
    if (rc < 0) return;
    if (!on_match(data.get())) return;
    if (!global) return;
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data.get());
    if (ov[1] < ov[0] || ov[1] < start) return;  // \K oddities: stop rather than loop
    start = ov[1];
    options = 0;
    if (ov[0] == ov[1]) {
      if (start == length) return;
      options = PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED;
    }
  }
}

// The UTF-16 form of the searched text, kept per thread so that its memory
// is reused from one search to the next; given back beyond kKeepBytes.
constexpr std::size_t kKeepBytes = 8u << 20;

Utf16Text& subject_for(std::string_view text) {
  thread_local Utf16Text subject;
  subject.assign(text);
  return subject;
}

}  // namespace

namespace text_internal {

const std::int32_t* MatchSpans::span(int i, int j) const noexcept {
  if (i < 1 || static_cast<std::size_t>(i) > match_count()) return nullptr;
  if (j < 0 || static_cast<std::size_t>(j) > groups) return nullptr;
  const std::int32_t* s =
      &spans[(static_cast<std::size_t>(i - 1) * (groups + 1) + static_cast<std::size_t>(j)) * 2];
  return s[0] < 0 ? nullptr : s;
}

Text MatchSpans::cut(std::string_view text, int i, int j) const {
  const std::int32_t* s = span(i, j);
  if (!s) return Text();
  return Text(text.substr(static_cast<std::size_t>(s[0]), static_cast<std::size_t>(s[1] - s[0])));
}

bool regex_collect(const Text& pattern, std::string_view text, RegexOptions options, MatchSpans* out) {
  out->spans.clear();
  out->groups = 0;
  const CodePtr code = compile(pattern, options.ignore_case, options.multi_line);
  if (!code) return false;
  std::uint32_t captures = 0;
  pcre2_pattern_info(code.get(), PCRE2_INFO_CAPTURECOUNT, &captures);
  out->groups = captures;
  const std::size_t per_match = 2 * (out->groups + 1);
  Utf16Text& subject = subject_for(text);
  for_each_match(code.get(), subject.units(), options.global, [&](pcre2_match_data* data) {
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data);
    for (std::size_t k = 0; k < per_match; ++k) {
      out->spans.push_back(ov[k] == PCRE2_UNSET ? -1 : subject.byte_offset(ov[k]));
    }
    return true;
  });
  subject.shrink(kKeepBytes);
  return true;
}

}  // namespace text_internal

struct RegexObject::State {
  Text pattern;
  Text searched;
  bool valid = false;
  text_internal::RegexOptions options;
  text_internal::MatchSpans matches;

  Text read(int i, int j, int* position) const {
    const std::int32_t* s = matches.span(i, j);
    if (position) *position = s ? s[0] : -1;
    return matches.cut(searched.view(), i, j);
  }
};

RegexObject::RegexObject() : state_(std::make_unique<State>()) {}
RegexObject::~RegexObject() = default;

bool RegexObject::execute(const Text& pattern, const Text& text, std::optional<bool> case_sensitive,
                          std::optional<bool> multi_line, std::optional<bool> global) {
  State& s = *state_;
  s.pattern = pattern;
  s.searched = text;
  s.options = {!case_sensitive.value_or(false), multi_line.value_or(true), global.value_or(true)};
  s.valid = text_internal::regex_collect(pattern, text.view(), s.options, &s.matches);
  return s.valid;
}

Text RegexObject::pattern() const { return state_->pattern; }

Text RegexObject::replace(const Text& replacement) const {
  const State& s = *state_;
  if (!s.valid) return Text();
  const CodePtr code = compile(s.pattern, s.options.ignore_case, s.options.multi_line);
  if (!code) return Text();
  Utf16Text& subject = subject_for(s.searched.view());
  const Utf16Text converted = text_internal::gbk_to_utf16(replacement.view());
  const std::u16string_view with = converted.units();
  const std::string_view bytes = s.searched.view();
  std::string out;
  std::size_t copied = 0;  // bytes of the searched text written so far
  bool failed = false;
  std::u16string piece(64, u'\0');
  for_each_match(code.get(), subject.units(), s.options.global, [&](pcre2_match_data* data) {
    // The replacement for this one match, expanded by PCRE2 ($1, ${name}...).
    constexpr std::uint32_t kOptions = PCRE2_SUBSTITUTE_MATCHED | PCRE2_SUBSTITUTE_REPLACEMENT_ONLY |
                                       PCRE2_SUBSTITUTE_OVERFLOW_LENGTH | PCRE2_SUBSTITUTE_UNSET_EMPTY;
    int rc = 0;
    PCRE2_SIZE made = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
      made = piece.size();
      rc = pcre2_substitute(code.get(), units_of(subject.units()), subject.units().size(), 0,
                            kOptions | PCRE2_NO_UTF_CHECK, data, nullptr, units_of(with), with.size(),
                            reinterpret_cast<PCRE2_UCHAR*>(piece.data()), &made);
      if (rc != PCRE2_ERROR_NOMEMORY) break;
      piece.resize(made);
    }
    if (rc < 0) {
      failed = true;
      return false;
    }
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data);
    const auto begin = std::max(copied, static_cast<std::size_t>(subject.byte_offset(ov[0])));
    out.append(bytes.substr(copied, begin - copied));
    out.append(text_internal::utf16_to_gbk(std::u16string_view(piece.data(), made)));
    copied = static_cast<std::size_t>(subject.byte_offset(ov[1]));
    return true;
  });
  subject.shrink(kKeepBytes);
  if (failed) return Text();
  out.append(bytes.substr(copied));
  return Text(std::move(out));
}

int RegexObject::match_count() const { return static_cast<int>(state_->matches.match_count()); }

Text RegexObject::match_value(int i, int* position) const { return state_->read(i, 0, position); }

Text RegexObject::submatch_value(int i, int j, int* position) const {
  if (j < 1) {
    if (position) *position = -1;
    return Text();
  }
  return state_->read(i, j, position);
}

int RegexObject::submatch_count() const {
  return state_->matches.match_count() > 0 ? static_cast<int>(state_->matches.groups) : 0;
}

}  // namespace qm
