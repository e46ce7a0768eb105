// The shell interface: opening an address in the user's browser and ending
// the process. The desktop program uses DesktopShell; tests use
// RecordingShell to see both without a browser starting or the test
// process ending.
#pragma once

#include <functional>
#include <optional>
#include <QString>
#include <QStringList>

namespace qm {

class Shell {
 public:
  virtual ~Shell() = default;
  // Hands the address to the desktop's opener; returns once it has taken it.
  // A failure is ignored.
  virtual void open_address(const QString& address) = 0;
  // Ends the process with `code`. DesktopShell never returns.
  virtual void end_process(int code) = 0;
};

class DesktopShell final : public Shell {
 public:
  void open_address(const QString& address) override;
  // Flushes the C streams, then ends at once: no destructors, no atexit
  // handlers, no waiting for worker threads that may still be running.
  [[noreturn]] void end_process(int code) override;
};

// Records what would have been opened and the exit code. Main thread only.
class RecordingShell final : public Shell {
 public:
  void open_address(const QString& address) override { opened.append(address); }
  void end_process(int code) override {
    exit_code = code;
    if (on_end) on_end();
  }

  QStringList opened;
  std::optional<int> exit_code;
  std::function<void()> on_end;  // runs when end_process is called
};

}  // namespace qm
