// Collection runs through the real window (offscreen) against the fake site.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/main_window.h"
#include "app/shell.h"
#include "app/testing/heartbeat.h"
#include "collect/run_test_support.h"

namespace qm {
namespace {

using testing::questions;

class RunWindowTest : public testing::SiteTest {
 protected:
  // The results box's lines, line breaks of any kind taken apart.
  QStringList result_lines() const {
    QString text = window_.results_box().toPlainText();
    text.remove(QLatin1Char('\r'));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
  }

  QTemporaryDir dir_;
  RecordingShell shell_;
  MainWindow window_{shell_, dir_.path()};
};

TEST_F(RunWindowTest, ClickListsTitlesWithTheButtonDisabledMeanwhile) {
  const auto corpus = questions("电脑", 13, 4000);
  FakeBehaviour behaviour;
  behaviour.question_delay = std::chrono::milliseconds(20);
  serve(corpus, behaviour);
  window_.show();
  window_.keyword_box().setText(QStringLiteral("电脑"));

  // What the window showed while the run waited.
  bool seen_running = false;
  bool seen_enabled = false;
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, &window_, [&] {
    if (window_.collect_button().isEnabled()) seen_enabled = true;
    if (!window_.collect_button().isEnabled() &&
        window_.collect_button().text() == QStringLiteral("采集中"))
      seen_running = true;
  });
  probe.start(5);
  QTest::mouseClick(&window_.collect_button(), Qt::LeftButton);
  probe.stop();

  QStringList expected;
  for (const FakeQuestion& q : corpus) expected << QString::fromStdString(q.title);
  EXPECT_EQ(result_lines(), expected);
  EXPECT_EQ(window_.results_frame().title(), QStringLiteral("采集到模糊的问题 (13) 个"));
  EXPECT_TRUE(seen_running);
  EXPECT_FALSE(seen_enabled);
  EXPECT_TRUE(window_.collect_button().isEnabled());
  EXPECT_EQ(window_.collect_button().text(), QStringLiteral("采集问题"));

  // A second run with the box ticked lists afresh.
  window_.exact_box().setChecked(true);
  window_.keyword_box().setText(QStringLiteral("不在页面里"));
  QTest::mouseClick(&window_.collect_button(), Qt::LeftButton);
  EXPECT_EQ(result_lines(), QStringList());
  EXPECT_EQ(window_.results_frame().title(), QStringLiteral("采集到模糊的问题 (13) 个"));
}

TEST_F(RunWindowTest, WindowKeepsHandlingEventsWhileResponsesAreSlow) {
  FakeBehaviour behaviour;
  behaviour.result_delay = std::chrono::milliseconds(500);
  behaviour.question_delay = std::chrono::milliseconds(500);
  serve(questions("手机", 3, 4100), behaviour);
  window_.show();
  window_.keyword_box().setText(QStringLiteral("手机"));

  const testing::Heartbeat beat = testing::measure_heartbeat(
      &window_, [&] { QTest::mouseClick(&window_.collect_button(), Qt::LeftButton); });
  const qint64 longest = beat.longest_stall_ms;
  const int beats = beat.beats;

  EXPECT_EQ(result_lines().size(), 3);
  EXPECT_GT(beats, 50);  // the run took over a second
  // A run that blocked the thread would stall for a whole response delay
  // (500 ms); the margin below it absorbs slow sanitizer builds.
  EXPECT_LT(longest, 400) << "the window stalled for " << longest << " ms";
}

TEST_F(RunWindowTest, ClosingMidRunEndsWithExitCodeZero) {
  FakeBehaviour behaviour;
  behaviour.question_delay = std::chrono::milliseconds(150);
  serve(questions("旅游", 4, 4200), behaviour);
  window_.show();
  window_.keyword_box().setText(QStringLiteral("旅游"));
  bool ended_mid_run = false;
  shell_.on_end = [&] { ended_mid_run = !window_.collect_button().isEnabled(); };
  QTimer::singleShot(300, &window_, [&] { window_.close(); });
  QTest::mouseClick(&window_.collect_button(), Qt::LeftButton);
  EXPECT_TRUE(ended_mid_run);
  EXPECT_EQ(shell_.exit_code, 0);
}

}  // namespace
}  // namespace qm
