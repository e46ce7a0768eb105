// text_between, text_left_of, text_count_occurrences and text_after_last
// against the plain reference. The first text holds both markers, split at
// its middle.
#include "text/testing/fuzz_input.h"
#include "text/testing/reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qm;
  const fuzz::Input in = fuzz::split(data, size);
  const bool flag = (in.flags & 1) != 0;
  const std::string_view text = in.second.view();
  const std::string_view markers = in.first.view();
  const std::string left(markers.substr(0, markers.size() / 2));
  const std::string right(markers.substr(markers.size() / 2));
  fuzz::expect(text_between(in.second, Text(left), Text(right), in.start, flag) ==
               Text(reference::between(text, left, right, in.start, flag)));
  fuzz::expect(text_left_of(in.second, in.first, in.start, flag) ==
               Text(reference::left_of(text, markers, in.start, flag)));
  fuzz::expect(text_count_occurrences(in.second, in.first, flag) == reference::count(text, markers, flag));
  fuzz::expect(text_after_last(in.second, in.first, flag) == Text(reference::after_last(text, markers, flag)));
  return 0;
}
