// Internal to web/: one libcurl exchange (an easy handle with the settings
// every request of the system shares), and running a job on a worker thread
// while the caller waits through the event pump.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qm::inet {

// The largest body an exchange keeps; a transfer that goes beyond ends there
// and keeps the first kMaxBodyBytes bytes.
inline constexpr std::size_t kMaxBodyBytes = std::size_t{64} << 20;
// The largest header block of one response; beyond it the transfer ends.
inline constexpr std::size_t kMaxHeaderBytes = std::size_t{1} << 20;
inline constexpr long kMaxRedirects = 10;

struct EasyDeleter {
  void operator()(CURL* easy) const noexcept { curl_easy_cleanup(easy); }
};
using EasyPtr = std::unique_ptr<CURL, EasyDeleter>;

struct SlistDeleter {
  void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};
// A curl string list; append with slist_append.
using SlistPtr = std::unique_ptr<curl_slist, SlistDeleter>;
// False when libcurl could not take the line (out of memory); the list
// stays as it was.
bool slist_append(SlistPtr& list, const std::string& line);

// The route override ("HOST:PORT:ADDRESS:PORT", empty: none) as last set.
std::string route_override();

// One exchange: an easy handle for this exchange alone (no connection taken
// over from or left to another exchange), with the body, the header block of
// the final response, the redirect limit, the abort check and the time
// limits set up. Move-only; the handle and its lists are released on every
// path. Used by one thread at a time.
class Exchange {
 public:
  // `abort` (may be null) is polled during the transfer, about once a second
  // at least; once true the transfer ends. `time_limit` above zero bounds
  // the whole transfer and every limit below it. Check ok() afterwards.
  Exchange(const std::atomic<bool>* abort, std::chrono::milliseconds time_limit);
  Exchange(Exchange&&) noexcept = default;
  Exchange& operator=(Exchange&&) = delete;
  ~Exchange() = default;

  // False when the handle could not be created or an option was refused.
  bool ok() const noexcept { return easy_ != nullptr && buffers_ != nullptr && options_ok_; }
  CURL* handle() const noexcept { return easy_.get(); }

  // Sets one option; a refusal makes ok() false from then on.
  template <typename Value>
  void option(CURLoption name, Value value) {
    options_ok_ = options_ok_ && easy_ && curl_easy_setopt(easy_.get(), name, value) == CURLE_OK;
  }

  // Hands request header lines (curl's own conventions: "Name:" removes a
  // header of curl's, "Name;" sends it empty) to the handle and keeps them
  // alive as long as the handle.
  bool set_headers(SlistPtr lines);
  bool set_proxy_headers(SlistPtr lines);

  // Runs the transfer. The body and headers hold whatever arrived, also when
  // the transfer ended early.
  CURLcode perform();

  // Every body byte received (at most kMaxBodyBytes).
  std::string& body() noexcept { return buffers_->body; }
  // Status line and header lines of the last response received, each ended
  // by CR LF, then the empty line; empty when no response arrived.
  const std::string& response_head() const noexcept { return buffers_->head; }
  bool body_capped() const noexcept { return buffers_->capped; }

 private:
  struct Buffers {
    std::string body;
    std::string head;
    bool head_complete = false;
    bool capped = false;
    const std::atomic<bool>* abort = nullptr;
  };
  static std::size_t on_body(char* data, std::size_t size, std::size_t count, void* user);
  static std::size_t on_header(char* data, std::size_t size, std::size_t count, void* user);
  static int on_progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

  // Declared before the handle, so the handle (whose callbacks point into
  // the buffers) goes first on destruction.
  std::unique_ptr<Buffers> buffers_;
  SlistPtr headers_;
  SlistPtr proxy_headers_;
  SlistPtr route_;
  EasyPtr easy_;
  bool options_ok_ = true;
};

// Clamps a caller's time-out: below zero counts as zero; more than a 32-bit
// count of milliseconds (about 24.8 days) is cut there.
std::chrono::milliseconds clamp_timeout(std::chrono::milliseconds timeout);

// The time limit of a worker's transfer for a caller that waits `timeout`:
// a second beyond it, so that the caller's deadline, not the worker's own
// limits, decides a late exchange (the abort flag then ends the worker).
std::chrono::milliseconds worker_limit(std::chrono::milliseconds timeout);

// Runs `job` on a worker thread (one kept from an earlier job, or a new one)
// and waits for it through the installed event pump, dispatching events,
// until it ends or `timeout` (from the call) has passed. Every wait is for
// the time that is left. Returns true when the job ended in time; once the time-out has passed the
// answer is false even if the job ended meanwhile. On false, `*abort` is set
// and the job is left to finish on its own: whatever the job writes must
// live in state the job itself owns (shared_ptr), and the caller must not
// read it. The job never touches the event pump after this returns.
bool run_timed(std::function<void()> job, std::atomic<bool>* abort,
               std::chrono::milliseconds timeout);

}  // namespace qm::inet
