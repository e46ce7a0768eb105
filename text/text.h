// Text extraction: GBK texts, the text primitives, slicing by literal
// markers, the regular-expression object and marker-pair extraction.
//
// Every text here is GBK bytes. Positions count bytes from 1; a search that
// finds nothing yields -1. A byte of 0x80 or above starts a two-byte
// character and searches step over such characters; ignoring case folds the
// ASCII letters only, on every compared byte (second bytes too).
//
// Thread safety: every routine touches only its arguments and may run on any
// thread, except text_count_occurrences, which dispatches the calling
// thread's pending events through the installed EventPump. A RegexObject is
// used by one thread at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// A GBK text: bytes without NUL. Building one from bytes that hold a NUL
// keeps the bytes before the first NUL. Lengths and positions are `int`;
// a text is at most INT32_MAX bytes (longer input is cut there).
class Text {
 public:
  Text() = default;
  Text(const char* bytes);        // NOLINT: implicit, for literals
  Text(std::string_view bytes);   // NOLINT: implicit
  explicit Text(std::string bytes);

  const std::string& str() const noexcept { return bytes_; }
  std::string_view view() const noexcept { return bytes_; }
  const char* c_str() const noexcept { return bytes_.c_str(); }
  int length() const noexcept { return static_cast<int>(bytes_.size()); }
  bool empty() const noexcept { return bytes_.empty(); }

  Text& operator+=(const Text& more);
  friend Text operator+(Text a, const Text& b) { return a += b; }
  friend bool operator==(const Text&, const Text&) = default;

 private:
  std::string bytes_;
};

// Prints a text for test failures: printable ASCII as is, every other byte
// as \xHH.
std::ostream& operator<<(std::ostream& out, const Text& text);

// A length-counted byte string that may hold NUL bytes (a fetched page).
class ByteString {
 public:
  ByteString() = default;
  explicit ByteString(std::string bytes) : bytes_(std::move(bytes)) {}
  ByteString(const Text& text) : bytes_(text.str()) {}  // NOLINT: implicit

  const std::string& bytes() const noexcept { return bytes_; }
  std::string& bytes() noexcept { return bytes_; }
  std::size_t size() const noexcept { return bytes_.size(); }
  bool empty() const noexcept { return bytes_.empty(); }
  // The bytes up to the first NUL, as a text.
  Text as_text() const { return Text(std::string_view(bytes_)); }

  friend bool operator==(const ByteString&, const ByteString&) = default;

 private:
  std::string bytes_;
};

// A list of texts. The system's own operations count its items from 1.
using TextList = std::vector<Text>;

// ---- Event pump -----------------------------------------------------------
//
// How the core lets the user interface breathe while it waits. The desktop
// program installs one built on Qt's event loop; without one, dispatching does
// nothing and waiting blocks on a condition variable.
class EventPump {
 public:
  virtual ~EventPump() = default;
  // Dispatches the events already queued for the calling thread.
  virtual void dispatch_pending() = 0;
  // Blocks the calling thread, dispatching events as they arrive, until
  // `ready()` is true or `deadline` has passed. `ready` is called on the
  // calling thread only.
  virtual void wait_until(const std::function<bool()>& ready,
                          std::chrono::steady_clock::time_point deadline) = 0;
  // Thread-safe: called after making a waiter's `ready()` true, so that its
  // wait ends promptly.
  virtual void notify() = 0;
};

// Installs the process-wide pump (nullptr restores the built-in one). The
// caller keeps ownership and keeps the pump alive while it is installed.
// Install before any wait starts; not thread-safe against running waits.
void event_pump_install(EventPump* pump);
// The installed pump, or the built-in one. Never null.
EventPump& event_pump();

// ---- Shared helpers -------------------------------------------------------

// Removes blanks (ASCII space, full-width space A1 A1) at both ends; tabs and
// line breaks are kept.
Text text_trim(const Text& text);
// Lower-cases ASCII letters A-Z only; two-byte characters stay as they are.
Text text_to_lower(const Text& text);
// The text's leading decimal number, leading spaces skipped; 0 when there is
// none. Saturates at the limits of int32.
std::int32_t text_to_int(const Text& text);
// Decimal digits without leading zeros.
Text text_from_int(std::int64_t value);

// ---- Primitives -----------------------------------------------------------

// First position >= start (omitted or <= 1: 1) where `search` matches, by
// character stepping from the start; -1 when none or start > length. An empty
// search text yields 1 when a byte lies at or after start.
int text_find(const Text& text, const Text& search,
              std::optional<int> start = std::nullopt,
              std::optional<bool> ignore_case = std::nullopt);
// Last match position reached by stepping from position 1; -1 when none. An
// empty search text yields 1 for a non-empty text.
int text_find_last(const Text& text, const Text& search,
                   std::optional<bool> ignore_case = std::nullopt);
// First / last n bytes; n <= 0 gives the empty text, n > length the whole.
Text text_left(const Text& text, int n);
Text text_right(const Text& text, int n);
// Replaces occurrences from `start` on, at most `count` (omitted or negative:
// all, 0: none). The case-sensitive flag defaults to false (ASCII case
// ignored). Replaced text is never searched again.
Text text_replace(const Text& text, const Text& search,
                  std::optional<Text> replacement = std::nullopt,
                  std::optional<int> start = std::nullopt,
                  std::optional<int> count = std::nullopt,
                  std::optional<bool> case_sensitive = std::nullopt);

// ---- Slicing --------------------------------------------------------------
// "#引号" in a marker of text_between stands for a double quote.

// Text between the first left marker (searched from `start`) and the nearest
// right marker after it; empty when either is missing. Case is ignored unless
// `case_sensitive` is true.
Text text_between(const Text& text, const Text& left, const Text& right,
                  std::optional<int> start = std::nullopt,
                  std::optional<bool> case_sensitive = std::nullopt);
// Text from position 1 up to the first marker at or after `start`; empty when
// the marker is missing. Exact unless `ignore_case` is true.
Text text_left_of(const Text& text, const Text& marker,
                  std::optional<int> start = std::nullopt,
                  std::optional<bool> ignore_case = std::nullopt);
// Number of occurrences, overlapping ones included; 0 for an empty search
// text. Each search after the first begins one byte after the previous
// occurrence (two bytes when one finds nothing), stepping from there.
// Dispatches pending events once per pass of that loop.
int text_count_occurrences(const Text& text, const Text& search,
                           std::optional<bool> case_sensitive = std::nullopt);
// Text after the last occurrence of the marker; empty when it is missing.
Text text_after_last(const Text& text, const Text& marker,
                     std::optional<bool> ignore_case = std::nullopt);

// ---- Regular-expression object --------------------------------------------

// Regular expressions over GBK text (PCRE2, UTF-16, JIT). Indexes are from 1.
// Not copyable; one thread at a time.
class RegexObject {
 public:
  RegexObject();
  ~RegexObject();
  RegexObject(const RegexObject&) = delete;
  RegexObject& operator=(const RegexObject&) = delete;

  // Compiles `pattern` and collects its matches in `text` (case ignored,
  // multi-line and global unless told otherwise; a dot never matches a line
  // feed). False when the pattern is invalid; every read is then empty. A
  // pattern that backtracks without end stops at a match limit: the matches
  // found before it are kept.
  bool execute(const Text& pattern, const Text& text,
               std::optional<bool> case_sensitive = std::nullopt,
               std::optional<bool> multi_line = std::nullopt,
               std::optional<bool> global = std::nullopt);
  // The pattern of the last execute; empty before the first.
  Text pattern() const;
  // The searched text with every match replaced by `replacement`, in
  // PCRE2's replacement syntax ($1, ${name}); empty when the pattern or the
  // replacement is invalid.
  Text replace(const Text& replacement) const;
  int match_count() const;
  // The text of match i; empty when there is none. `position`, when given,
  // receives its 0-based byte offset in the searched text, -1 when there is
  // no such match. Texts are cut from the searched text's own bytes.
  Text match_value(int i, int* position = nullptr) const;
  // The text of group j of match i; empty when there is none or the group
  // took no part (position -1). `position` as for match_value.
  Text submatch_value(int i, int j, int* position = nullptr) const;
  // The number of groups of the first match; 0 when there is no match.
  int submatch_count() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// ---- Marker-pair extraction -----------------------------------------------

// Clears `list`, then appends in page order every text between the left
// marker and the nearest right marker after it (on one line, case ignored;
// both markers are literal text). Returns the number of items in the list;
// 0 without a list.
int text_all_between(const Text& text, const Text& left, const Text& right,
                     TextList* list, std::optional<int> max_length = std::nullopt,
                     std::optional<Text> prefix = std::nullopt,
                     std::optional<Text> suffix = std::nullopt,
                     std::optional<bool> include_left = std::nullopt,
                     std::optional<bool> include_right = std::nullopt);
// The marker with every regular-expression metacharacter (\ . ^ $ | ? * +
// ( ) [ ] { }) escaped by a backslash, so that the marker is literal text;
// second bytes of two-byte characters are never escaped. A high byte that
// begins no GBK character is followed by "(?:)", so that it cannot pair with
// an escaping backslash.
Text regex_escape_markers(const Text& marker);

// One pair of text_replace_pairs.
struct ReplacePair {
  Text search;
  Text replacement;
};
// Applies text_replace for each pair in order (up to five), each pass on the
// result of the one before, with the same count, start and case flag.
Text text_replace_pairs(const Text& text, const std::vector<ReplacePair>& pairs,
                        std::optional<int> count = std::nullopt,
                        std::optional<int> start = std::nullopt,
                        std::optional<bool> case_sensitive = std::nullopt);

}  // namespace qm
