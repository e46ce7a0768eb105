// Text, ByteString printing and the built-in event pump.
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "text/text.h"

namespace qm {

namespace {

std::string_view cut(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find('\0'));
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) bytes = bytes.substr(0, INT_MAX);
  return bytes;
}

// Dispatches nothing; waits on a condition variable.
class BlockingPump final : public EventPump {
 public:
  void dispatch_pending() override {}
  void wait_until(const std::function<bool()>& ready,
                  std::chrono::steady_clock::time_point deadline) override {
    std::unique_lock lock(mutex_);
    while (!ready()) {
      if (cv_.wait_until(lock, deadline) == std::cv_status::timeout) return;
    }
  }
  void notify() override {
    // Taking the lock orders the notification after a waiter's ready() test.
    { std::lock_guard lock(mutex_); }
    cv_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
};

BlockingPump& blocking_pump() {
  static BlockingPump pump;
  return pump;
}

EventPump* installed_pump = nullptr;

}  // namespace

Text::Text(const char* bytes) : bytes_(cut(bytes ? std::string_view(bytes) : std::string_view())) {}
Text::Text(std::string_view bytes) : bytes_(cut(bytes)) {}
Text::Text(std::string bytes) : bytes_(std::move(bytes)) {
  const std::size_t keep = cut(bytes_).size();
  if (keep != bytes_.size()) bytes_.resize(keep);
}

Text& Text::operator+=(const Text& more) {
  const std::size_t room = static_cast<std::size_t>(INT_MAX) - bytes_.size();
  bytes_.append(more.bytes_, 0, std::min(room, more.bytes_.size()));
  return *this;
}

std::ostream& operator<<(std::ostream& out, const Text& text) {
  out << '"';
  for (unsigned char c : text.view()) {
    if (c >= 0x20 && c < 0x7f && c != '\\' && c != '"') {
      out << static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out << hex;
    }
  }
  return out << '"';
}

void event_pump_install(EventPump* pump) { installed_pump = pump; }

EventPump& event_pump() {
  return installed_pump ? *installed_pump : static_cast<EventPump&>(blocking_pump());
}

}  // namespace qm
