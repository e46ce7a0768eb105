// Site cookie maintenance: writing, deleting and reading the cookies of one
// host in the process-wide store, and clearing a whole site. Every cookie is
// addressed through "http://" + url_host(address); each write goes to the
// store twice, once for the host's own cookie and once with the host's root
// domain, so that a cookie the site set either way is reached.

#include <chrono>
#include <cmath>
#include <string>

#include "text/text.h"
#include "web/web.h"

namespace qm {
namespace {

using Seconds = std::chrono::duration<long long>;

constexpr std::chrono::sys_days kOleEpoch{std::chrono::year{1899} / 12 / 30};
constexpr double kFirstDay = -657434;  // 0100-01-01
constexpr double kLastDay = 2958465;   // 9999-12-31
constexpr double kLastSecondOfDay = 86399.0 / 86400.0;

double limit_to_range(OleDate date) {
  if (date > kLastDay) return kLastDay;
  if (date < kFirstDay) return kFirstDay;
  return date;
}

Text cookie_url(const Text& host) { return Text("http://") + host; }

// The two deletion writes' common part is the deletion marker.
OleDate deletion_expiry() { return ole_date(1999, 1, 1, 1, 1, 1); }

}  // namespace

OleDate ole_date(int year, int month, int day, int hour, int minute, int second) {
  const std::chrono::year_month_day date{std::chrono::year{year},
                                         std::chrono::month{static_cast<unsigned>(month)},
                                         std::chrono::day{static_cast<unsigned>(day)}};
  const bool time_ok = hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 &&
                       second < 60;
  if (year < 100 || year > 9999 || month < 1 || day < 1 || !date.ok() || !time_ok) return 0;
  const double days = static_cast<double>((std::chrono::sys_days{date} - kOleEpoch).count());
  const double fraction = (hour * 3600 + minute * 60 + second) / 86400.0;
  // Before the epoch the day counts down while the time of day still counts up.
  return days >= 0 ? days + fraction : days - fraction;
}

Text cookie_format_expiry(OleDate date) {
  static constexpr const char* kWeekdays[] = {"Sun, ", "Mon, ", "Tue, ", "Wed, ",
                                              "Thu, ", "Fri, ", "Sat, "};
  static constexpr const char* kMonths[] = {"Jan-", "Feb-", "Mar-", "Apr-", "May-", "Jun-",
                                            "Jul-", "Aug-", "Sep-", "Oct-", "Nov-", "Dec-"};
  // A value beyond the calendar is written as the nearest date it has.
  if (std::isnan(date)) date = 0;
  date = std::fmin(std::fmax(date, -(-kFirstDay + kLastSecondOfDay)), kLastDay + kLastSecondOfDay);
  const double whole = std::trunc(date);
  auto seconds = static_cast<long long>(std::llround(std::fabs(date - whole) * 86400.0));
  const std::chrono::sys_days day = kOleEpoch + std::chrono::days{static_cast<long long>(whole)};
  const std::chrono::sys_time<Seconds> when = day + Seconds{seconds};
  const std::chrono::sys_days calendar_day = std::chrono::floor<std::chrono::days>(when);
  const std::chrono::year_month_day ymd{calendar_day};
  const std::chrono::hh_mm_ss<Seconds> time{when - calendar_day};
  const std::chrono::weekday weekday{calendar_day};

  std::string out = kWeekdays[weekday.c_encoding()];
  out += std::to_string(static_cast<unsigned>(ymd.day())) + "-";
  out += kMonths[static_cast<unsigned>(ymd.month()) - 1];
  out += std::to_string(static_cast<int>(ymd.year())) + " ";
  out += std::to_string(time.hours().count()) + ":" + std::to_string(time.minutes().count()) +
         ":" + std::to_string(time.seconds().count()) + " GMT";
  return Text(std::move(out));
}

Text url_root_domain(const Text& host) {
  // One dot: the host is its own root domain; no dot: likewise, the host.
  if (text_count_occurrences(host, ".") <= 1) return host;
  const Text tail = Text(".") + text_after_last(host, ".");
  const Text rest = text_left(host, host.length() - tail.length());
  return text_after_last(rest, ".") + tail;
}

bool cookie_set(const Text& address, std::optional<Text> name, std::optional<Text> value,
                std::optional<OleDate> expiry) {
  const Text cookie_name = name.value_or(Text());
  if (cookie_name.empty()) return cookie_clear_site(address);
  const Text host = url_host(address);
  Text cookie_value = value.value_or(Text());
  OleDate when = expiry.value_or(0);
  if (cookie_value.empty()) {
    cookie_value = "delete";
    when = deletion_expiry();
  }
  Text data = cookie_value;
  if (limit_to_range(when) != limit_to_range(0)) data += Text("; expires=") + cookie_format_expiry(when);
  data += "; path=/";
  inet_set_cookie(cookie_url(host), cookie_name, data);  // the host's own cookie
  data += Text("; domain=.") + url_root_domain(host);
  return inet_set_cookie(cookie_url(host), cookie_name, data);
}

bool cookie_clear_site(const Text& address) {
  const Text host = url_host(address);
  // Each pass deletes the first cookie the store lists for the host. A pass
  // that would delete the same name as the one before made no progress (the
  // cookie belongs to a domain these writes do not reach, or the store
  // refuses the change), and an empty name cannot be deleted: either ends it.
  Text previous;
  bool first_pass = true;
  while (true) {
    const Text cookies = cookie_get(cookie_url(host));
    const int equals = text_find(cookies, "=");
    if (cookies.empty() || equals <= 0) break;
    const Text cookie_name = text_left(cookies, equals - 1);
    if (cookie_name.empty() || (!first_pass && cookie_name == previous)) break;
    cookie_set(cookie_url(host), cookie_name);
    previous = cookie_name;
    first_pass = false;
  }
  return true;
}

Text cookie_get(const Text& address, std::optional<Text> name) {
  const Text cookies = inet_get_cookie(cookie_url(url_host(address)));
  const Text wanted = name.value_or(Text());
  if (wanted.empty()) return cookies;
  // "n1=v1; n2=v2": the value of the first cookie named exactly `wanted`.
  const std::string_view all = cookies.view();
  std::size_t at = 0;
  while (at <= all.size()) {
    const std::size_t end = std::min(all.find(';', at), all.size());
    std::string_view item = all.substr(at, end - at);
    while (item.starts_with(' ')) item.remove_prefix(1);
    const std::size_t eq = item.find('=');
    if (eq != std::string_view::npos && item.substr(0, eq) == wanted.view()) {
      return Text(item.substr(eq + 1));
    }
    at = end + 1;
  }
  return Text();
}

}  // namespace qm
