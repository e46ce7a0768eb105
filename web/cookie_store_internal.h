// Internal to web/: how the cookie store reads a cookie write, and a seam
// through which tests see the calls that reach the store.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "text/text.h"

namespace qm::inet {

// The most cookies one domain (its host cookies and domain cookies together)
// takes through inet_set_cookie; further new names are refused.
inline constexpr std::size_t kMaxCookiesPerDomain = 180;

// One cookie write, read from an address, a name and cookie data
// ("value; expires=...; path=...; domain=...", attributes in any order,
// unknown ones ignored).
struct CookieWrite {
  std::string name;
  std::string value;
  std::string domain;     // lower case, without a leading dot
  bool host_only = true;  // no domain attribute: for the address's host alone
  std::string path;
  bool secure = false;
  long long expires = 0;  // seconds since 1970; 0: session; -1: delete now
};

// Nullopt when the store must refuse the write: an address without a host,
// an empty name or one holding "=", ";" or control bytes, control bytes in
// the data, or a domain the host does not lie in. `now` in seconds since
// 1970 decides whether an expiry has passed.
std::optional<CookieWrite> parse_cookie_write(const Text& url, const Text& name,
                                              const Text& data, long long now);

// Test seam: one call on the store, as a caller made it. A read has an
// empty name and data.
struct CookieStoreCall {
  bool write = false;
  Text url;
  Text name;
  Text data;
};
// Called for every inet_set_cookie and inet_get_cookie, on the calling
// thread, before the store acts; an empty function removes it.
using CookieStoreObserver = std::function<void(const CookieStoreCall&)>;
void observe_cookie_store(CookieStoreObserver observer);

}  // namespace qm::inet
