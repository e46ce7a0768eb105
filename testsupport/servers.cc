#include "testsupport/servers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace qm::testsupport {

namespace {

// Loopback listening socket on a port the system picks; -1 on failure.
int listen_loopback(int* port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(fd, 64) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(fd);
    return -1;
  }
  *port = ntohs(addr.sin_port);
  return fd;
}

std::size_t param_size(const httplib::Request& req, const char* key, std::size_t fallback) {
  if (!req.has_param(key)) return fallback;
  return static_cast<std::size_t>(std::strtoull(req.get_param_value(key).c_str(), nullptr, 10));
}

// Content-Length announced in a request head, 0 when none.
std::size_t announced_length(std::string_view head) {
  for (const std::string& line : request_head_lines(head)) {
    constexpr std::string_view kName = "content-length:";
    if (line.size() < kName.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < kName.size() && same; ++i) {
      same = std::tolower(static_cast<unsigned char>(line[i])) == kName[i];
    }
    if (same) return static_cast<std::size_t>(std::strtoull(line.c_str() + kName.size(), nullptr, 10));
  }
  return 0;
}

}  // namespace

std::string loopback_url(int port, std::string_view path) {
  return "http://127.0.0.1:" + std::to_string(port) + std::string(path);
}

int unused_loopback_port() {
  int port = 0;
  const int fd = listen_loopback(&port);
  if (fd >= 0) ::close(fd);
  return port;
}

std::string http_response(std::string_view status_line,
                          const std::vector<std::string>& header_lines,
                          std::string_view body) {
  std::string out(status_line);
  out += "\r\n";
  for (const std::string& line : header_lines) out += line + "\r\n";
  out += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
  out += body;
  return out;
}

std::vector<std::string> request_head_lines(std::string_view raw) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < raw.size()) {
    std::size_t end = raw.find("\r\n", pos);
    if (end == std::string_view::npos) end = raw.size();
    if (end == pos) break;  // the empty line ends the head
    lines.emplace_back(raw.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

// ---- HttpServer ------------------------------------------------------------

HttpServer::HttpServer(const std::function<void(httplib::Server&)>& extra_routes) {
  add_routes();
  if (extra_routes) extra_routes(server_);
  port_ = server_.bind_to_any_port("127.0.0.1");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  // stop() does nothing before the accept loop runs, so wait for it.
  while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

HttpServer::~HttpServer() {
  {
    std::lock_guard<std::mutex> lock(nap_mutex_);
    stopping_ = true;
  }
  nap_cv_.notify_all();
  server_.stop();
  if (thread_.joinable()) thread_.join();
}

void HttpServer::nap(std::chrono::milliseconds duration) const {
  std::unique_lock<std::mutex> lock(nap_mutex_);
  nap_cv_.wait_for(lock, duration, [this] { return stopping_.load(); });
}

void HttpServer::add_routes() {
  using httplib::DataSink;
  using httplib::Request;
  using httplib::Response;
  server_.set_pre_routing_handler([this](const Request&, Response&) {
    ++requests_;
    return httplib::Server::HandlerResponse::Unhandled;
  });
  const auto hello = [](const Request&, Response& res) { res.set_content("hello", "text/plain"); };
  server_.Get("/hello", hello);
  server_.Post("/hello", hello);

  const auto echo = [](const Request& req, Response& res) {
    std::string out = req.method + " " + req.target + "\n";
    for (const auto& [name, value] : req.headers) {
      if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
          name == "LOCAL_PORT") {
        continue;  // added by the server itself
      }
      out += name + ": " + value + "\n";
    }
    out += "\n" + req.body;
    res.set_content(out, "text/plain");
  };
  server_.Get("/echo", echo);
  server_.Post("/echo", echo);

  server_.Get("/status", [](const Request& req, Response& res) {
    res.status = static_cast<int>(param_size(req, "code", 200));
    res.set_content("status " + std::to_string(res.status), "text/plain");
  });

  server_.Get("/slow", [this](const Request& req, Response& res) {
    nap(std::chrono::milliseconds(param_size(req, "ms", 1000)));
    res.set_content("slow", "text/plain");
  });

  server_.Get("/drip", [this](const Request& req, Response& res) {
    const std::size_t total = param_size(req, "bytes", 10);
    const auto pause = std::chrono::milliseconds(param_size(req, "ms", 1000));
    res.set_chunked_content_provider("text/plain", [this, total, pause](std::size_t offset,
                                                                        DataSink& sink) {
      if (offset >= total) {
        sink.done();
        return true;
      }
      if (offset > 0) nap(pause);
      if (stopping_ || !sink.is_writable()) return false;
      return sink.write("x", 1);
    });
  });

  server_.Get("/broken", [](const Request& req, Response& res) {
    const std::size_t sent = param_size(req, "bytes", 1000);
    res.set_content_provider(sent * 2, "text/plain",
                             [sent](std::size_t offset, std::size_t, DataSink& sink) {
                               if (offset >= sent) return false;  // drop the connection
                               const std::string chunk(sent - offset, 'x');
                               return sink.write(chunk.data(), chunk.size());
                             });
  });

  const auto stream_x = [this](std::optional<std::size_t> total, Response& res) {
    const auto provider = [this, total](std::size_t offset, DataSink& sink) {
      static const std::string chunk(64 * 1024, 'x');
      if (stopping_ || !sink.is_writable()) return false;
      std::size_t n = chunk.size();
      if (total) {
        if (offset >= *total) {
          sink.done();
          return true;
        }
        n = std::min(n, *total - offset);
      }
      return sink.write(chunk.data(), n);
    };
    if (total) {
      res.set_content_provider(*total, "application/octet-stream",
                               [provider](std::size_t offset, std::size_t, DataSink& sink) {
                                 return provider(offset, sink);
                               });
    } else {
      res.set_chunked_content_provider("application/octet-stream", provider);
    }
  };
  server_.Get("/big", [stream_x](const Request& req, Response& res) {
    stream_x(param_size(req, "bytes", 1024), res);
  });
  server_.Get("/endless",
              [stream_x](const Request&, Response& res) { stream_x(std::nullopt, res); });

  server_.Get("/redirect", [](const Request& req, Response& res) {
    res.set_redirect(req.get_param_value("to"), 302);
  });
  server_.Get("/chain", [](const Request& req, Response& res) {
    const std::size_t n = param_size(req, "n", 0);
    if (n == 0) {
      res.set_content("end", "text/plain");
    } else {
      res.set_redirect("/chain?n=" + std::to_string(n - 1), 302);
    }
  });
  server_.Get("/loop", [](const Request&, Response& res) { res.set_redirect("/loop", 302); });

  server_.Get("/cookies", [](const Request& req, Response& res) {
    const std::size_t n = param_size(req, "n", 1);
    for (std::size_t k = 0; k < n; ++k) {
      const std::string id = std::to_string(k);
      res.set_header("Set-Cookie", "c" + id + "=v" + id + ";");
    }
    res.set_content("cookies", "text/plain");
  });

  server_.Get("/long-headers", [](const Request& req, Response& res) {
    res.set_header("X-Filler", std::string(param_size(req, "bytes", 4096), 'f'));
    res.set_header("Set-Cookie", "long=1; path=/");
    res.set_content("long", "text/plain");
  });
}

// ---- RawServer -------------------------------------------------------------

RawServer::RawServer(std::optional<std::string> reply) {
  if (reply) {
    replies_.push_back(std::move(*reply));
  } else {
    silent_ = true;
  }
  listen_fd_ = listen_loopback(&port_);
  if (listen_fd_ >= 0) acceptor_ = std::thread([this] { accept_loop(); });
}

RawServer::RawServer(std::vector<std::string> replies) : replies_(std::move(replies)) {
  if (replies_.empty()) replies_.emplace_back();
  listen_fd_ = listen_loopback(&port_);
  if (listen_fd_ >= 0) acceptor_ = std::thread([this] { accept_loop(); });
}

RawServer::~RawServer() {
  stopping_ = true;
  if (listen_fd_ >= 0) ::shutdown(listen_fd_, SHUT_RDWR);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int fd : open_fds_) ::shutdown(fd, SHUT_RDWR);
  }
  if (acceptor_.joinable()) acceptor_.join();
  for (std::thread& worker : workers_) worker.join();
  if (listen_fd_ >= 0) ::close(listen_fd_);
}

std::vector<std::string> RawServer::received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

bool RawServer::wait_for_closed(std::size_t count, std::chrono::milliseconds within) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return closed_cv_.wait_for(lock, within, [&] { return closed_ >= count; });
}

void RawServer::accept_loop() {
  while (!stopping_) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) {
      ::close(fd);
      break;
    }
    const std::size_t index = received_.size();
    received_.emplace_back();
    open_fds_.push_back(fd);
    workers_.emplace_back([this, fd, index] { serve(fd, index); });
  }
}

void RawServer::serve(int fd, std::size_t index) {
  std::string request;
  bool replied = false;
  std::size_t head_end = std::string::npos;
  // Reads until the client closes; after the reply, a quiet quarter second
  // also ends the connection.
  int idle_polls = 0;
  for (;;) {
    const bool complete =
        head_end != std::string::npos &&
        request.size() >= head_end + 4 + announced_length(request.substr(0, head_end + 2));
    // Bytes that never make a request head (a TLS handshake) are answered
    // after a fifth of a second of silence.
    const bool stuck = !request.empty() && idle_polls >= 4;
    if (!replied && !silent_ && (complete || stuck)) {
      const std::string& reply = replies_[std::min(index, replies_.size() - 1)];
      std::size_t sent = 0;
      while (sent < reply.size()) {
        const ssize_t n = ::send(fd, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
      }
      ::shutdown(fd, SHUT_WR);
      replied = true;
    }
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, replied ? 250 : 50);
    if (stopping_) break;
    if (ready == 0) {
      if (replied) break;
      ++idle_polls;
      continue;
    }
    idle_polls = 0;
    if (ready < 0) break;
    char buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<std::size_t>(n));
    if (head_end == std::string::npos) head_end = request.find("\r\n\r\n");
    std::lock_guard<std::mutex> lock(mutex_);
    received_[index] = request;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  received_[index] = request;
  open_fds_.erase(std::remove(open_fds_.begin(), open_fds_.end(), fd), open_fds_.end());
  ::close(fd);
  ++closed_;
  closed_cv_.notify_all();
}

}  // namespace qm::testsupport
