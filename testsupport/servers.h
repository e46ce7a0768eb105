// Local servers for tests and benchmarks. Both listen on 127.0.0.1 only, on a
// port the system picks (read it back with port()), and serve from threads of
// their own until destroyed. Destruction stops every connection promptly, also
// the slow and endless ones, so a test never waits for a server.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace qm::testsupport {

// "http://127.0.0.1:PORT" followed by `path` (which should start with "/").
std::string loopback_url(int port, std::string_view path);

// A loopback port that nothing listens on (bound once, then closed), for
// "host cannot be reached" cases. Another process could take it in between;
// on a test machine that does not happen in practice.
int unused_loopback_port();

// A cpp-httplib server with a set of hostile and ordinary routes:
//
//   /hello                 "hello" (text/plain), any method
//   /echo                  the request as the server parsed it: method, path,
//                          then "Name: value" lines (names as received) and,
//                          after an empty line, the body; any method
//   /status?code=N         status N with the body "status N"
//   /slow?ms=N             waits N ms, then "slow"
//   /drip?bytes=N&ms=M     N bytes of 'x', one every M ms (no length known)
//   /broken?bytes=N        announces 2N bytes, sends N bytes of 'x', then
//                          drops the connection (a transfer cut off part way)
//   /big?bytes=N           N bytes of 'x' with a Content-Length
//   /endless               'x' bytes without end, as fast as the client reads
//   /redirect?to=URL       302 to URL
//   /chain?n=N             302 to /chain?n=N-1 ... until n=0 gives "end"
//   /loop                  302 to /loop, forever
//   /cookies?n=N           N Set-Cookie lines "cK=vK;" (K from 0)
//   /long-headers?bytes=N  an "X-Filler" header of N bytes, then the
//                          cookie "long=1", body "long"
//
// Slow and endless routes end when the client goes away or the server stops.
class HttpServer {
 public:
  // `extra_routes` may add routes of a test's own before the server starts.
  explicit HttpServer(const std::function<void(httplib::Server&)>& extra_routes = {});
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  int port() const noexcept { return port_; }
  std::string url(std::string_view path) const { return loopback_url(port_, path); }
  // Requests whose handler has started so far (all routes).
  int requests_seen() const noexcept { return requests_.load(); }
  // True once the server is stopping; long-running handlers of a test's own
  // should poll it and return.
  bool stopping() const noexcept { return stopping_.load(); }
  // Sleeps for `duration` or until the server stops, whichever comes first.
  void nap(std::chrono::milliseconds duration) const;

 private:
  void add_routes();

  httplib::Server server_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> requests_{0};
  mutable std::mutex nap_mutex_;
  mutable std::condition_variable nap_cv_;
  int port_ = 0;
  std::thread thread_;
};

// A raw TCP server for tests where the exact request bytes matter. For every
// connection it reads the request head (up to the empty line) and, when the
// head announces a Content-Length, that many body bytes; then it sends the
// reply for that connection and closes its side for writing, and keeps
// reading until the client closes (or a short idle time passes), so that
// anything a client sent beyond one request is recorded too. Bytes that
// never form a request head (a TLS handshake) are answered after a fifth
// of a second of silence.
//
// Without a reply (std::nullopt) the server never answers: it holds each
// connection open, reading, until the server is destroyed.
class RawServer {
 public:
  // One reply for every connection.
  explicit RawServer(std::optional<std::string> reply);
  // The reply for connection i (from 0); past the end, the last one.
  explicit RawServer(std::vector<std::string> replies);
  ~RawServer();
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  int port() const noexcept { return port_; }
  std::string url(std::string_view path) const { return loopback_url(port_, path); }

  // Every byte received on each connection so far, in order of acceptance.
  std::vector<std::string> received() const;
  // Waits until `count` connections have been served and closed (or the
  // time passes); returns whether they were.
  bool wait_for_closed(std::size_t count, std::chrono::milliseconds within) const;

 private:
  void accept_loop();
  void serve(int fd, std::size_t index);

  std::vector<std::string> replies_;
  bool silent_ = false;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable closed_cv_;
  std::vector<std::string> received_;
  std::size_t closed_ = 0;
  std::vector<int> open_fds_;
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

// A canned HTTP/1.1 response: status line, the given header lines (each
// without CR LF), Content-Length of the body, "Connection: close", the body.
std::string http_response(std::string_view status_line,
                          const std::vector<std::string>& header_lines,
                          std::string_view body);

// The request head of raw bytes split into lines (without CR LF), up to the
// empty line; the request line first.
std::vector<std::string> request_head_lines(std::string_view raw);

}  // namespace qm::testsupport
