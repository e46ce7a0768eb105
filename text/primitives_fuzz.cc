// text_find, text_find_last and text_replace against the plain reference.
#include "text/testing/fuzz_input.h"
#include "text/testing/reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qm;
  const fuzz::Input in = fuzz::split(data, size);
  const bool flag = (in.flags & 1) != 0;
  const std::string_view text = in.second.view();
  const std::string_view search = in.first.view();
  fuzz::expect(text_find(in.second, in.first, in.start, flag) == reference::find(text, search, in.start, flag));
  fuzz::expect(text_find_last(in.second, in.first, flag) == reference::find_last(text, search, flag));
  fuzz::expect(text_replace(in.second, in.first, Text("#"), in.start, in.count, flag) ==
               Text(reference::replace(text, search, "#", in.start, in.count, flag)));
  return 0;
}
