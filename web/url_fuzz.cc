// The address cuts on arbitrary bytes: they never crash, and their results
// keep the shape callers rely on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "text/text.h"
#include "web/web.h"

namespace {

void expect(bool holds) {
  if (!holds) std::abort();
}

// Character starts by the texts' stepping: a byte of 0x80 or above begins a
// two-byte character.
bool any_character_start(std::string_view text, bool (*bad)(char)) {
  for (std::size_t i = 0; i < text.size(); i += static_cast<unsigned char>(text[i]) >= 0x80 ? 2 : 1) {
    if (bad(text[i])) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qm;
  const Text address(std::string_view(reinterpret_cast<const char*>(data), size));

  const Text host = url_host(address);
  expect(!any_character_start(host.view(), [](char c) {
    return c == '/' || c == ':' || (c >= 'A' && c <= 'Z');
  }));
  expect(url_host(host) == host);

  const Text path = url_path(address);
  expect(path.view().starts_with('/'));
  expect(path.view() == "/" || address.view().ends_with(path.view()));
  if (address.view().find('/') == std::string_view::npos) expect(path.view() == "/");

  const int port = url_port(address);
  if (address.view().find(':') == std::string_view::npos) expect(port == 80);
  return 0;
}
