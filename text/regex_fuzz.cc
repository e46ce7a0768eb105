// RegexObject with any pattern over any bytes: no crash, no hang (the match
// limit), and every value is the searched text's own bytes at its position.
#include "text/testing/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qm;
  const fuzz::Input in = fuzz::split(data, size);
  RegexObject regex;
  const bool valid = regex.execute(in.first, in.second, (in.flags & 1) != 0, (in.flags & 2) != 0, (in.flags & 4) != 0);
  fuzz::expect(valid || regex.match_count() == 0);
  const std::string_view text = in.second.view();
  int previous = 0;
  for (int i = 1; i <= regex.match_count(); ++i) {
    int position = -1;
    const Text value = regex.match_value(i, &position);
    fuzz::expect(position >= previous && position <= in.second.length());
    fuzz::expect(text.substr(static_cast<std::size_t>(position), value.view().size()) == value.view());
    previous = position;
    for (int j = 1; j <= regex.submatch_count(); ++j) {
      int at = -1;
      const Text group = regex.submatch_value(i, j, &at);
      fuzz::expect(at == -1 ? group.empty()
                            : text.substr(static_cast<std::size_t>(at), group.view().size()) == group.view());
    }
  }
  (void)regex.replace(Text("<$0>"));
  return 0;
}
