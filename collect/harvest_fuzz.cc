// The result-page harvest: text_all_between with the site's question-link
// markers over arbitrary page bytes, against a plain scan. Input bytes 0x01
// and 0x02 stand for the left and right marker (0x03, 0x04: the same in
// upper case), so that the fuzzer meets them often.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "collect/collect.h"
#include "text/text.h"

namespace {

using qm::Text;

void expect(bool holds) {
  if (!holds) std::abort();
}

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool same_at(std::string_view text, std::size_t at, std::string_view marker) {
  if (text.size() - at < marker.size()) return false;
  for (std::size_t k = 0; k < marker.size(); ++k) {
    if (fold(text[at + k]) != fold(marker[k])) return false;
  }
  return true;
}

std::size_t step(std::string_view text, std::size_t at) {
  return static_cast<unsigned char>(text[at]) >= 0x80 ? 2 : 1;
}

// Plain GBK: every byte of 0x80 or above is a lead byte 81-FE followed by a
// second byte 40-7E or 80-FE.
bool plain_gbk(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) continue;
    if (b == 0x80 || b == 0xFF || i + 1 == text.size()) return false;
    const auto t = static_cast<unsigned char>(text[++i]);
    if (t < 0x40 || t == 0x7F || t == 0xFF) return false;
  }
  return true;
}

// The scan a reader would write: from each left marker at a character start,
// the nearest right marker on the same line; the next search begins after it.
// A left marker without a right marker on its line is passed over.
qm::TextList reference(std::string_view page, std::string_view left, std::string_view right) {
  qm::TextList out;
  std::size_t i = 0;
  while (i < page.size()) {
    if (!same_at(page, i, left)) {
      i += step(page, i);
      continue;
    }
    const std::size_t group = i + left.size();
    std::size_t j = group;
    while (j < page.size() && page[j] != '\n' && !same_at(page, j, right)) j += step(page, j);
    if (j < page.size() && page[j] != '\n') {
      out.push_back(Text(page.substr(group, j - group)));
      i = j + right.size();
    } else {
      i += step(page, i);
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string left = std::string("<a href=\"http://") + qm::SITE_HOST + "/question/";
  static const std::string right = ".html\"";
  static const std::string left_upper = [] {
    std::string s = left;
    for (char& c : s) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    return s;
  }();
  std::string page;
  for (std::size_t i = 0; i < size; ++i) {
    switch (data[i]) {
      case 0x01: page += left; break;
      case 0x02: page += right; break;
      case 0x03: page += left_upper; break;
      case 0x04: page += ".HTML\""; break;
      default: page += static_cast<char>(data[i]);
    }
  }
  const Text text(page);  // up to a NUL, as a fetched page becomes a text

  qm::TextList ids = {"stale"};
  const int n = qm::text_all_between(text, Text(left), Text(right), &ids);
  expect(n == static_cast<int>(ids.size()));
  if (plain_gbk(text.view())) {
    expect(ids == reference(text.view(), left, right));
  } else {
    // Whatever the bytes, each identifier stood between the two markers on
    // one line of the page.
    std::string folded_page(text.view());
    for (char& c : folded_page) c = fold(c);
    std::size_t from = 0;
    for (const Text& id : ids) {
      expect(id.view().find('\n') == std::string_view::npos);
      std::string link = left + id.str() + right;
      for (char& c : link) c = fold(c);
      const std::size_t at = folded_page.find(link, from);
      expect(at != std::string::npos);
      from = at + left.size() + id.str().size();
    }
  }
  return 0;
}
