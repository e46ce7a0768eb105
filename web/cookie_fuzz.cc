// The cookie store and the site cookie maintenance on arbitrary addresses,
// names, values and cookie data: nothing crashes, clearing a site always
// ends, nothing holding control bytes goes into the store, and a plain
// cookie the store takes is sent back.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/text.h"
#include "web/web.h"

namespace {

using qm::Text;

// Ends the run as a crash, naming the broken rule.
void expect(bool holds, const char* rule) {
  if (holds) return;
  std::fprintf(stderr, "broken: %s\n", rule);
  std::abort();
}

bool has_control(std::string_view text) {
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) return true;
  }
  return false;
}

// What the store sends: never a control byte, whatever went in.
Text checked(Text cookies) {
  expect(!has_control(cookies.view()), "the store sends no control byte");
  return cookies;
}

bool ascii_iequal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// Whether "n1=v1; n2=v2" holds a cookie `name` (case ignored) of `value`.
bool sends(std::string_view cookies, std::string_view name, std::string_view value) {
  while (!cookies.empty()) {
    const std::size_t end = std::min(cookies.find("; "), cookies.size());
    const std::string_view item = cookies.substr(0, end);
    const std::size_t eq = item.find('=');
    if (eq != std::string_view::npos && ascii_iequal(item.substr(0, eq), name) &&
        item.substr(eq + 1) == value) {
      return true;
    }
    cookies.remove_prefix(std::min(end + 2, cookies.size()));
  }
  return false;
}

// Printable ASCII without blanks and ";": what a round trip keeps as it is.
std::string plain(std::string bytes, bool for_name) {
  for (char& c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    c = static_cast<char>(0x21 + b % 0x5E);
    if (c == ';' || (for_name && c == '=')) c = '_';
  }
  return bytes;
}

// A few hosts so that the operations meet, and then anything at all.
Text address(FuzzedDataProvider& in) {
  static constexpr const char* kAddresses[] = {
      "http://wenda.pelquor.com/", "wenda.pelquor.com", "http://a.b.pelquor.com/x/y",
      "https://pelquor.com", "http://127.0.0.1:8080/", "http://localhost/"};
  const std::size_t pick = in.ConsumeIntegralInRange<std::size_t>(0, std::size(kAddresses));
  if (pick < std::size(kAddresses)) return kAddresses[pick];
  return Text(in.ConsumeRandomLengthString(64));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qm::inet_clear_all_cookies();
  FuzzedDataProvider in(data, size);
  for (int step = 0; step < 12 && in.remaining_bytes() > 0; ++step) {
    switch (in.ConsumeIntegralInRange<int>(0, 5)) {
      case 0: {  // a raw write
        const Text url = address(in);
        const std::string name = in.ConsumeRandomLengthString(32);
        const std::string cookie_data = in.ConsumeRandomLengthString(128);
        const bool taken = qm::inet_set_cookie(url, Text(name), Text(cookie_data));
        // Text cuts at a NUL, so only the bytes before one reach the store.
        if (has_control(Text(name).view()) || has_control(Text(cookie_data).view())) {
          expect(!taken, "a write with control bytes is refused");
        }
        break;
      }
      case 1: {  // a site write, or a deletion with an empty value
        const Text where = address(in);
        const std::string name = in.ConsumeRandomLengthString(32);
        const std::string value = in.ConsumeRandomLengthString(64);
        const std::optional<qm::OleDate> expiry =
            in.ConsumeBool() ? std::optional<qm::OleDate>(in.ConsumeFloatingPoint<double>())
                             : std::nullopt;
        qm::cookie_set(where, Text(name), Text(value), expiry);
        break;
      }
      case 2: {
        const Text where = address(in);
        if (in.ConsumeBool()) {
          checked(qm::cookie_get(where, Text(in.ConsumeRandomLengthString(32))));
        } else {
          checked(qm::cookie_get(where));
        }
        break;
      }
      case 3:  // must end whatever the store holds
        qm::cookie_clear_site(address(in));
        break;
      case 4:
        checked(qm::inet_get_cookie(address(in)));
        break;
      case 5: {  // a plain cookie the store takes comes back as written
        const std::string name = plain(in.ConsumeRandomLengthString(24), true);
        const std::string value = plain(in.ConsumeRandomLengthString(64), false);
        const Text url = "http://round.trip.example/";
        if (qm::inet_set_cookie(url, Text(name), Text(value))) {
          expect(sends(checked(qm::inet_get_cookie(url)).view(), name, value),
                 "a plain cookie taken is sent back");
        } else {
          expect(name.empty(), "a plain cookie is taken");
        }
        break;
      }
    }
  }
  return 0;
}
