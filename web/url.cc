// Address slicing. These are text cuts, not a URL grammar: they know only
// the prefixes "http://" and "https://" and cut at the first "/" and ":".
// Their results on unusual addresses (an upper-case scheme, user
// information, a query without a path) are relied upon as they are, so the
// cuts stay exactly these.

#include "text/text.h"
#include "web/web.h"

namespace qm {

Text url_host(const Text& address) {
  // Only lower-case schemes are removed, wherever they stand.
  Text host = text_replace(address, "https://", Text(), 1, -1, true);
  host = text_replace(host, "http://", Text(), 1, -1, true);
  if (const int slash = text_find(host, "/"); slash > 0) host = text_left(host, slash - 1);
  if (const int colon = text_find(host, ":"); colon > 0) host = text_left(host, colon - 1);
  return text_to_lower(host);
}

Text url_path(const Text& address) {
  // The host is looked up from the start of the whole address, so it may be
  // found inside the scheme ("http://p/a" gives "//p/a").
  const int host_at = text_find(address, url_host(address), 1, true);
  const int slash = text_find(address, "/", host_at);
  if (slash <= 0) return Text("/");
  return text_right(address, address.length() - slash + 1);
}

int url_port(const Text& address) {
  Text part;
  if (text_to_lower(text_left(address, 7)) == Text("http://")) {
    const int slash = text_find(address, "/", 8);
    const Text rest = text_right(address, address.length() - 7);
    part = slash <= 0 ? rest : text_left(rest, slash - 8);
  } else {
    const int slash = text_find(address, "/");
    part = slash <= 0 ? address : text_left(address, slash - 1);
  }
  const int colon = text_find(part, ":");
  if (colon <= 0) return 80;
  // "https://x.y" cuts to "https:" and reads as 0.
  return text_to_int(text_right(part, part.length() - colon));
}

}  // namespace qm
