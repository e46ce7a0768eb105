// The process-wide cookie store: libcurl's cookie engine in one share handle,
// with a mutex per kind of shared data, so that exchange workers on their own
// threads and the cookie maintenance use it at the same time.
//
// The share handle lives for the whole process and is never cleaned up:
// detached exchange workers may still hold easy handles attached to it while
// the process ends, so the store is a deliberately leaked singleton.
//
// Writes go through CURLOPT_COOKIELIST as Netscape-format lines, which say
// exactly whether a cookie is for its host alone or for a whole domain.
// Reads list the engine's cookies (CURLINFO_COOKIELIST) and apply the
// matching rules of a request to the given address.

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <charconv>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "web/cookie_store_internal.h"
#include "web/curl_easy.h"
#include "web/inet_internal.h"
#include "web/web.h"

namespace qm {
namespace inet {
namespace {

class SharedStore {
 public:
  SharedStore() {
    share_ = curl_share_init();
    if (share_ == nullptr) return;
    curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &SharedStore::lock);
    curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &SharedStore::unlock);
    curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
    if (curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE) != CURLSHE_OK) {
      curl_share_cleanup(share_);
      share_ = nullptr;
      return;
    }
    // The public-suffix list that judges domain cookies: loaded once for the
    // process instead of once per exchange. Optional: a libcurl without it
    // loads its own.
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_PSL);
  }
  SharedStore(const SharedStore&) = delete;
  SharedStore& operator=(const SharedStore&) = delete;

  CURLSH* share() const noexcept { return share_; }

 private:
  static std::mutex* mutex_for(curl_lock_data data, void* user) {
    auto* self = static_cast<SharedStore*>(user);
    const auto index = static_cast<std::size_t>(data);
    return index < self->locks_.size() ? &self->locks_[index] : nullptr;
  }
  static void lock(CURL* /*easy*/, curl_lock_data data, curl_lock_access /*access*/,
                   void* user) {
    if (std::mutex* m = mutex_for(data, user)) m->lock();
  }
  static void unlock(CURL* /*easy*/, curl_lock_data data, void* user) {
    if (std::mutex* m = mutex_for(data, user)) m->unlock();
  }

  std::array<std::mutex, CURL_LOCK_DATA_LAST> locks_;
  CURLSH* share_ = nullptr;
};

SharedStore& store() {
  global_init();
  static SharedStore* const instance = new SharedStore();  // never destroyed, see above
  return *instance;
}

struct UrlCleanup {
  void operator()(CURLU* url) const noexcept { curl_url_cleanup(url); }
};
struct CurlFree {
  void operator()(char* text) const noexcept { curl_free(text); }
};

// The calling thread's handle for store operations, attached to the share.
// It never performs a transfer.
CURL* store_handle() {
  thread_local EasyPtr handle = [] {
    EasyPtr easy(curl_easy_init());
    if (easy) share_cookies(easy.get());
    return easy;
  }();
  return handle.get();
}

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), ascii_lower);
  return out;
}

std::string_view trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool iequals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return ascii_lower(x) == ascii_lower(y);
         });
}

// The parts of an address that cookies are matched by.
struct Target {
  bool secure = false;
  std::string host;  // lower case
  std::string path;  // begins with "/"
};

std::optional<Target> parse_target_afresh(const Text& url) {
  std::unique_ptr<CURLU, UrlCleanup> parsed(curl_url());
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(),
                              CURLU_DEFAULT_SCHEME | CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
    return std::nullopt;
  }
  const auto part = [&](CURLUPart which) -> std::optional<std::string> {
    char* raw = nullptr;
    if (curl_url_get(parsed.get(), which, &raw, 0) != CURLUE_OK || raw == nullptr) {
      return std::nullopt;
    }
    std::unique_ptr<char, CurlFree> owned(raw);
    return std::string(raw);
  };
  Target target;
  const std::optional<std::string> scheme = part(CURLUPART_SCHEME);
  const std::optional<std::string> host = part(CURLUPART_HOST);
  if (!host || host->empty()) return std::nullopt;
  target.secure = scheme && iequals(*scheme, "https");
  target.host = lower(*host);
  target.path = part(CURLUPART_PATH).value_or("/");
  if (target.path.empty() || target.path.front() != '/') target.path = "/";
  return target;
}

// Each thread's last key and answer of one lookup. Parsing an address with
// libcurl and a date with curl_getdate cost as much as the rest of a store
// call, and the calls of a run name one site and one deletion date over and
// over.
template <typename Value>
struct LastLookup {
  std::optional<std::string> key;
  Value value{};

  template <typename Compute>
  const Value& get(std::string_view wanted, Compute compute) {
    if (key != wanted) {
      key.reset();  // no key while the answer is replaced
      value = compute();
      key = std::string(wanted);
    }
    return value;
  }
};

std::optional<Target> parse_target(const Text& url) {
  thread_local LastLookup<std::optional<Target>> last;
  return last.get(url.view(), [&url] { return parse_target_afresh(url); });
}

time_t parse_date(std::string_view text) {
  thread_local LastLookup<time_t> last;
  return last.get(text, [text] { return curl_getdate(std::string(text).c_str(), nullptr); });
}

// Whether `host` lies in `domain` (ASCII case ignored): the domain itself or
// a host below it.
bool domain_matches(std::string_view host, std::string_view domain) {
  if (iequals(host, domain)) return true;
  return host.size() > domain.size() && iequals(host.substr(host.size() - domain.size()), domain) &&
         host[host.size() - domain.size() - 1] == '.';
}

// An IP address as a host: cookies for it are never domain cookies.
bool is_ip_host(std::string_view host) {
  return host.starts_with('[') ||
         (!host.empty() && host.find_first_not_of("0123456789.") == std::string_view::npos);
}

// Whether a request for `request_path` carries a cookie of `cookie_path`.
bool path_matches(std::string_view request_path, std::string_view cookie_path) {
  if (!request_path.starts_with(cookie_path)) return false;
  return request_path.size() == cookie_path.size() || cookie_path.ends_with('/') ||
         request_path[cookie_path.size()] == '/';
}

// The path a cookie without a path attribute gets: the request path up to
// its last "/", or "/".
std::string default_path(std::string_view request_path) {
  const std::size_t last = request_path.rfind('/');
  if (last == std::string_view::npos || last == 0) return "/";
  return std::string(request_path.substr(0, last));
}

// A byte that would break a Netscape-format line or a cookie header.
bool unsafe_for_line(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
  });
}

bool apply_line(const std::string& line) {
  CURL* easy = store_handle();
  return easy != nullptr && curl_easy_setopt(easy, CURLOPT_COOKIELIST, line.c_str()) == CURLE_OK;
}

// One cookie as the engine lists it; the views point into the listing.
struct Listed {
  std::string_view domain;  // without a leading dot, in the case it was set
  bool tailmatch = false;
  std::string_view path;
  bool secure = false;
  long long expires = 0;  // 0: ends with the session
  std::string_view name;
  std::string_view value;
};

// The engine's listing, and the cookies read from it.
struct Listing {
  SlistPtr lines;
  std::vector<Listed> cookies;
};

Listing list_cookies() {
  Listing out;
  CURL* easy = store_handle();
  if (easy == nullptr) return out;
  curl_slist* raw = nullptr;
  if (curl_easy_getinfo(easy, CURLINFO_COOKIELIST, &raw) != CURLE_OK) return out;
  out.lines.reset(raw);
  for (const curl_slist* item = raw; item != nullptr; item = item->next) {
    std::string_view line = item->data;
    constexpr std::string_view kHttpOnly = "#HttpOnly_";
    if (line.starts_with(kHttpOnly)) line.remove_prefix(kHttpOnly.size());
    std::array<std::string_view, 7> fields;
    std::size_t n = 0;
    while (n < fields.size()) {
      const std::size_t tab = n + 1 < fields.size() ? line.find('\t') : std::string_view::npos;
      fields[n++] = line.substr(0, tab);
      if (tab == std::string_view::npos) break;
      line.remove_prefix(tab + 1);
    }
    if (n < 6) continue;
    Listed cookie;
    cookie.domain = fields[0];
    if (cookie.domain.starts_with('.')) cookie.domain.remove_prefix(1);
    cookie.tailmatch = fields[1] == "TRUE";
    cookie.path = fields[2];
    cookie.secure = fields[3] == "TRUE";
    std::from_chars(fields[4].data(), fields[4].data() + fields[4].size(), cookie.expires);
    cookie.name = fields[5];
    cookie.value = n == 7 ? fields[6] : std::string_view();
    out.cookies.push_back(cookie);
  }
  return out;
}

// Bounds what writes through this store can add: at most
// kMaxCookiesPerDomain cookies per domain (host cookies and domain cookies of
// one domain together). A count per domain grows with every write and is
// checked against the engine's listing only when it reaches the bound; a
// domain found full remembers its cookies for a second, so a flood of new
// names is refused without a listing each, while its own cookies may still
// be replaced.
class DomainTally {
 public:
  // Whether `write` (not a deletion) may go in.
  bool admit(const CookieWrite& write) {
    const std::lock_guard<std::mutex> guard(mutex_);
    Domain& d = domains_[write.domain];
    if (!d.full && d.writes < kMaxCookiesPerDomain) {
      ++d.writes;
      return true;
    }
    const std::string key = key_of(write.name, write.host_only, write.path);
    const auto now = std::chrono::steady_clock::now();
    if (d.full && now - d.checked < std::chrono::seconds(1)) return d.keys.contains(key);
    recount(write.domain, d);
    d.checked = now;
    d.full = d.keys.size() >= kMaxCookiesPerDomain;
    // Counting starts afresh from the listing, also when the write only
    // replaces a cookie: otherwise every later write would list the store.
    d.writes = d.keys.size();
    if (d.keys.contains(key)) return true;
    if (d.full) return false;
    ++d.writes;
    return true;
  }
  void deleted(const CookieWrite& write) {
    const std::lock_guard<std::mutex> guard(mutex_);
    const auto found = domains_.find(write.domain);
    if (found == domains_.end() || !found->second.full) return;
    found->second.full = false;  // room again: the next new name recounts
    found->second.writes = kMaxCookiesPerDomain;
  }
  void clear() {
    const std::lock_guard<std::mutex> guard(mutex_);
    domains_.clear();
  }

 private:
  struct Domain {
    std::size_t writes = 0;  // at least the number of cookies, unless `full`
    bool full = false;
    std::set<std::string> keys;  // when full: the cookies the domain holds
    std::chrono::steady_clock::time_point checked;
  };
  // The engine replaces a cookie of the same name and path (case ignored).
  static std::string key_of(std::string_view name, bool host_only, std::string_view path) {
    return lower(name) + (host_only ? "\t1\t" : "\t0\t") + lower(path);
  }
  static void recount(const std::string& domain, Domain& d) {
    d.keys.clear();
    const auto now = static_cast<long long>(std::time(nullptr));
    for (const Listed& cookie : list_cookies().cookies) {
      if (!iequals(cookie.domain, domain)) continue;
      if (cookie.expires != 0 && cookie.expires <= now) continue;
      d.keys.insert(key_of(cookie.name, !cookie.tailmatch, cookie.path));
    }
  }

  std::mutex mutex_;
  std::unordered_map<std::string, Domain> domains_;
};

DomainTally& tally() {
  static DomainTally* const instance = new DomainTally();  // lives with the store
  return *instance;
}

std::mutex observer_mutex;
CookieStoreObserver& observer() {
  static CookieStoreObserver* const instance = new CookieStoreObserver();  // lives with the store
  return *instance;
}

void notify_observer(bool write, const Text& url, const Text& name, const Text& data) {
  const std::lock_guard<std::mutex> guard(observer_mutex);
  if (observer()) observer()(CookieStoreCall{write, url, name, data});
}

}  // namespace

void observe_cookie_store(CookieStoreObserver watcher) {
  const std::lock_guard<std::mutex> guard(observer_mutex);
  observer() = std::move(watcher);
}

void global_init() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void share_cookies(CURL* easy) {
  CURLSH* share = store().share();
  if (easy == nullptr || share == nullptr) return;
  curl_easy_setopt(easy, CURLOPT_SHARE, share);
  curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");  // engine on, no file read
}

std::optional<CookieWrite> parse_cookie_write(const Text& url, const Text& name,
                                              const Text& data, long long now) {
  const std::optional<Target> target = parse_target(url);
  // Control bytes are refused before trimming: a tab around a name would
  // otherwise vanish and the write land on another cookie.
  const std::string_view cookie_name = trim(name.view());
  if (!target || cookie_name.empty() || unsafe_for_line(name.view()) ||
      cookie_name.find_first_of("=;") != std::string_view::npos || unsafe_for_line(data.view())) {
    return std::nullopt;
  }
  CookieWrite write;
  write.name = std::string(cookie_name);
  write.domain = target->host;
  write.path = default_path(target->path);

  std::optional<long long> expires;
  std::optional<long long> max_age;
  std::string_view rest = data.view();
  bool first = true;
  while (true) {
    const std::size_t semicolon = rest.find(';');
    const std::string_view item = trim(rest.substr(0, semicolon));
    if (first) {
      write.value = std::string(item);
      first = false;
    } else if (!item.empty()) {
      const std::size_t eq = item.find('=');
      const std::string_view key = trim(item.substr(0, eq));
      const std::string_view value =
          eq == std::string_view::npos ? std::string_view() : trim(item.substr(eq + 1));
      if (iequals(key, "domain")) {
        std::string_view domain = value;
        while (domain.starts_with('.')) domain.remove_prefix(1);
        if (!domain.empty()) {
          const std::string wanted = lower(domain);
          // A domain cookie only for a domain the host lies in; a domain of
          // one label only when it is the host itself.
          if (!domain_matches(target->host, wanted)) return std::nullopt;
          if (is_ip_host(target->host) && wanted != target->host) return std::nullopt;
          if (wanted.find('.') == std::string::npos && wanted != target->host) return std::nullopt;
          write.domain = wanted;
          write.host_only = false;
        }
      } else if (iequals(key, "path")) {
        if (value.starts_with('/')) write.path = std::string(value);
      } else if (iequals(key, "expires")) {
        const time_t when = parse_date(value);
        if (when != -1) expires = static_cast<long long>(when);
      } else if (iequals(key, "max-age")) {
        const std::string digits(value);
        char* end = nullptr;
        const long long seconds = std::strtoll(digits.c_str(), &end, 10);
        if (!digits.empty() && end != nullptr && *end == '\0') {
          max_age = seconds <= 0 ? 0 : (seconds > (1LL << 40) ? (1LL << 40) : seconds);
        }
      } else if (iequals(key, "secure")) {
        write.secure = true;
      }  // every other attribute (HttpOnly, SameSite, ...) means nothing here
    }
    if (semicolon == std::string_view::npos) break;
    rest.remove_prefix(semicolon + 1);
  }
  if (max_age) {
    write.expires = *max_age <= 0 ? -1 : now + *max_age;
  } else if (expires) {
    write.expires = *expires <= now ? -1 : *expires;
  }
  return write;
}

}  // namespace inet

bool inet_set_cookie(const Text& url, const Text& name, const Text& data) {
  inet::notify_observer(true, url, name, data);
  const auto now = static_cast<long long>(std::time(nullptr));
  const std::optional<inet::CookieWrite> write = inet::parse_cookie_write(url, name, data, now);
  if (!write) return false;
  const bool deletion = write->expires < 0;
  if (deletion) {
    inet::tally().deleted(*write);
  } else if (!inet::tally().admit(*write)) {
    return false;
  }
  // A deletion writes the cookie with an expiry long past: it takes the
  // place of the cookie of the same name, domain and path. The engine never
  // sends an expired cookie, this store never reads one, and the engine
  // drops every expired entry at its next addition, so at most the last
  // deleted entry lingers, unseen.
  const std::string line = (write->host_only ? "" : ".") + write->domain + "\t" +
                           (write->host_only ? "FALSE" : "TRUE") + "\t" + write->path + "\t" +
                           (write->secure ? "TRUE" : "FALSE") + "\t" +
                           std::to_string(deletion ? 1 : write->expires) + "\t" + write->name +
                           "\t" + write->value;
  return inet::apply_line(line);
}

Text inet_get_cookie(const Text& url) {
  inet::notify_observer(false, url, Text(), Text());
  const std::optional<inet::Target> target = inet::parse_target(url);
  if (!target) return Text();
  const auto now = static_cast<long long>(std::time(nullptr));
  const inet::Listing listing = inet::list_cookies();
  std::vector<const inet::Listed*> matching;
  for (const inet::Listed& cookie : listing.cookies) {
    const bool host_ok = cookie.tailmatch && !inet::is_ip_host(target->host)
                             ? inet::domain_matches(target->host, cookie.domain)
                             : inet::iequals(target->host, cookie.domain);
    if (!host_ok || !inet::path_matches(target->path, cookie.path)) continue;
    if (cookie.secure && !target->secure) continue;
    if (cookie.expires != 0 && cookie.expires <= now) continue;
    matching.push_back(&cookie);
  }
  // Longer paths first, as a request carries them; otherwise the store's order.
  std::stable_sort(matching.begin(), matching.end(),
                   [](const inet::Listed* a, const inet::Listed* b) {
                     return a->path.size() > b->path.size();
                   });
  std::string out;
  for (const inet::Listed* cookie : matching) {
    if (!out.empty()) out += "; ";
    out += cookie->name;
    out += '=';
    out += cookie->value;
  }
  return Text(std::move(out));
}

void inet_clear_all_cookies() {
  inet::apply_line("ALL");
  inet::tally().clear();
}

}  // namespace qm
