// text_all_between against its pattern run through RegexObject (the road it
// takes for markers that are not plain ASCII or texts that are not plain
// GBK), and regex_escape_markers making any marker match itself.
#include "text/testing/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qm;
  const fuzz::Input in = fuzz::split(data, size);
  const std::string_view markers = in.first.view();
  const Text left(markers.substr(0, markers.size() / 2));
  const Text right(markers.substr(markers.size() / 2));
  TextList items = {"stale"};
  const int n = text_all_between(in.second, left, right, &items);
  fuzz::expect(n == static_cast<int>(items.size()));
  RegexObject regex;
  const Text pattern = regex_escape_markers(left) + Text("(.*?)") + regex_escape_markers(right);
  fuzz::expect(regex.execute(pattern, in.second));
  TextList expected;
  for (int i = 1; i <= regex.match_count(); ++i) expected.push_back(regex.submatch_value(i, 1));
  fuzz::expect(items == expected);
  return 0;
}
