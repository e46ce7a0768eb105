#include "app/run_window_adapter.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include "app/main_window.h"
#include "app/shell.h"

namespace qm {
namespace {

class MainWindowRunTest : public testing::Test {
 protected:
  MainWindowRunTest() : window_(shell_, dir_.path(), nullptr), run_(window_) { window_.show(); }

  QTemporaryDir dir_;
  RecordingShell shell_;
  MainWindow window_;
  MainWindowRun run_;
};

// 采集 and 題 in GBK.
const Text kCollect("\xB2\xC9\xBC\xAF");
const Text kTi("\xEE\x7D");

TEST_F(MainWindowRunTest, ReadsTheControlsAfreshAtEveryCall) {
  EXPECT_EQ(run_.keyword(), Text());
  EXPECT_FALSE(run_.exact());
  window_.keyword_box().setText(QStringLiteral("采集"));
  window_.exact_box().setChecked(true);
  EXPECT_EQ(run_.keyword(), kCollect);
  EXPECT_TRUE(run_.exact());
  // As the user would change them in the middle of a run.
  window_.keyword_box().setFocus();
  QTest::keyClicks(&window_.keyword_box(), QStringLiteral("x"));
  QTest::mouseClick(&window_.exact_box(), Qt::LeftButton);
  EXPECT_EQ(run_.keyword(), kCollect + "x");
  EXPECT_FALSE(run_.exact());
}

TEST_F(MainWindowRunTest, SetsButtonAndCaptionAsGbk) {
  run_.set_collect_button(false, kCollect + "...");
  EXPECT_FALSE(window_.collect_button().isEnabled());
  EXPECT_EQ(window_.collect_button().text(), QStringLiteral("采集..."));
  QTest::mouseClick(&window_.collect_button(), Qt::LeftButton);  // ignored while disabled
  run_.set_collect_button(true, kTi);
  EXPECT_TRUE(window_.collect_button().isEnabled());
  EXPECT_EQ(window_.collect_button().text(), QStringLiteral("題"));

  run_.set_results_caption(kCollect + "12");
  EXPECT_EQ(window_.results_frame().title(), QStringLiteral("采集12"));
}

TEST_F(MainWindowRunTest, AppendGoesToTheEndWithoutUndoAndScrollsIntoView) {
  QPlainTextEdit& box = window_.results_box();
  run_.set_results(Text("first\r\n"));
  // The user types somewhere else and moves the caret to the start.
  box.setFocus();
  box.moveCursor(QTextCursor::Start);
  QTest::keyClicks(&box, QStringLiteral(">"));
  box.moveCursor(QTextCursor::Start);
  for (int i = 0; i < 50; ++i) run_.append_results(kTi + "\r\n");
  QString expected = QStringLiteral(">first\n");
  for (int i = 0; i < 50; ++i) expected += QStringLiteral("題\n");
  EXPECT_EQ(box.toPlainText(), expected);
  EXPECT_EQ(box.textCursor().position(), box.document()->characterCount() - 1);
  EXPECT_EQ(box.verticalScrollBar()->value(), box.verticalScrollBar()->maximum());
  EXPECT_GT(box.verticalScrollBar()->maximum(), 0);
  // Undo cannot take the appended titles away.
  box.undo();
  EXPECT_EQ(box.toPlainText(), expected);
  run_.set_results(Text());
  EXPECT_TRUE(box.toPlainText().isEmpty());
}

}  // namespace
}  // namespace qm
