#include "app/shell.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <optional>
#include <thread>
#include <QFile>
#include <QTemporaryDir>

namespace qm {
namespace {

// Ending the process is what the window's close does, also in the middle of
// a collection run whose worker thread is still busy.
TEST(DesktopShellDeathTest, EndsAtOnceWithTheCodeWhileAWorkerRuns) {
  for (const int code : {0, 3}) {
    EXPECT_EXIT(
        {
          std::atomic<bool> started{false};
          std::thread([&started] {
            started = true;
            for (;;) std::this_thread::sleep_for(std::chrono::milliseconds(1));
          }).detach();
          while (!started) std::this_thread::yield();
          DesktopShell().end_process(code);
        },
        testing::ExitedWithCode(code), "")
        << code;
  }
}

TEST(DesktopShellDeathTest, FlushesBufferedOutputBeforeEnding) {
  // The death test's child runs this body afresh: it finds the parent's file
  // through its environment.
  static const char kFileVariable[] = "QM_SHELL_TEST_FLUSH_FILE";
  std::optional<QTemporaryDir> dir;
  if (qEnvironmentVariableIsEmpty(kFileVariable)) {
    dir.emplace();
    qputenv(kFileVariable, QFile::encodeName(dir->filePath(QStringLiteral("out"))));
  }
  const QByteArray path = qgetenv(kFileVariable);
  EXPECT_EXIT(
      {
        std::FILE* out = std::fopen(path.constData(), "w");
        std::setvbuf(out, nullptr, _IOFBF, 1 << 16);
        std::fputs("the last words", out);
        DesktopShell().end_process(0);
      },
      testing::ExitedWithCode(0), "");
  qunsetenv(kFileVariable);
  QFile written(QFile::decodeName(path));
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  EXPECT_EQ(written.readAll(), QByteArray("the last words"));
}

}  // namespace
}  // namespace qm
