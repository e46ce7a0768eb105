#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/hyperlink.h"
#include "app/shell.h"
#include "app/skins.h"

namespace qm {
namespace {

// A stand-in for the collection run: what it saw of the window.
struct SeenByRun {
  int runs = 0;
  Text keyword;
  bool exact = false;
};
SeenByRun seen_by_run;
void fake_run(RunWindow& window) {
  ++seen_by_run.runs;
  seen_by_run.keyword = window.keyword();
  seen_by_run.exact = window.exact();
  window.append_results(window.keyword());
}

class MainWindowTest : public testing::Test {
 protected:
  MainWindowTest() : window_(shell_, skin_dir_.path(), &fake_run) { seen_by_run = {}; }

  template <typename Widget = QWidget>
  Widget* control(const char* name) {
    return window_.findChild<Widget*>(QString::fromUtf8(name));
  }

  QTemporaryDir skin_dir_;
  RecordingShell shell_;
  MainWindow window_;
};

struct ControlRow {
  const char* kind;  // class name
  const char* name;
  const char* parent;
  QRect geometry;
  const char* text;  // caption, label text or edit-box content
};

QString text_of(QWidget* widget) {
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->title();
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  if (auto* line = qobject_cast<QLineEdit*>(widget)) return line->text();
  if (auto* box = qobject_cast<QPlainTextEdit*>(widget)) return box->toPlainText();
  return QStringLiteral("<no text>");
}

TEST_F(MainWindowTest, HoldsEveryControlInItsPlace) {
  EXPECT_EQ(window_.windowTitle(), QStringLiteral("QirvoMorvalin"));
  EXPECT_EQ(window_.size(), QSize(329, 434));
  EXPECT_EQ(window_.minimumSize(), window_.maximumSize()) << "the size is fixed";

  const std::vector<ControlRow> table = {
      {"QLabel", "标签2", "main_window", {144, 400, 168, 24},
       "官方网站：http://www.qirvomorvalin.com"},
      {"QLabel", "标签1", "main_window", {24, 400, 80, 24}, "作者：Qirvo"},
      {"QGroupBox", "分组框2", "main_window", {22, 88, 287, 257}, "采集到的问题"},
      {"QPlainTextEdit", "编辑框_采集结果", "分组框2", {9, 15, 269, 232}, ""},
      {"qm::Hyperlink", "超级链接框1", "main_window", {22, 364, 140, 24},
       ">> 软件建议及BUG反馈 <<"},
      {"QPushButton", "按钮_复制到剪切板", "main_window", {189, 360, 120, 32}, "复制到剪切板"},
      {"QGroupBox", "分组框1", "main_window", {22, 16, 287, 62}, "关键词"},
      {"QCheckBox", "选择框1", "分组框1", {8, 41, 188, 16}, "采集到的问题中要包含该关键词"},
      {"QPushButton", "按钮_采集问题", "分组框1", {200, 13, 80, 41}, "采集问题"},
      {"QLineEdit", "编辑框_关键词", "分组框1", {8, 14, 188, 20}, ""},
  };
  window_.show();
  for (const ControlRow& row : table) {
    SCOPED_TRACE(row.name);
    QWidget* widget = control(row.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_STREQ(widget->metaObject()->className(), row.kind);
    ASSERT_NE(widget->parentWidget(), nullptr);
    EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromUtf8(row.parent));
    EXPECT_EQ(widget->geometry(), row.geometry);
    EXPECT_EQ(text_of(widget), QString::fromUtf8(row.text));
    EXPECT_TRUE(widget->isEnabled());
    EXPECT_TRUE(widget->isVisible());
  }
  EXPECT_FALSE(control<QCheckBox>("选择框1")->isChecked());
  EXPECT_EQ(window_.hyperlink().address(), QStringLiteral("http://www.qirvomorvalin.com/liuyan"));
}

TEST_F(MainWindowTest, EditBoxesAreEditableWithoutLengthLimit) {
  QLineEdit& keyword = window_.keyword_box();
  QPlainTextEdit& results = window_.results_box();
  EXPECT_FALSE(keyword.isReadOnly());
  EXPECT_FALSE(results.isReadOnly());
  EXPECT_TRUE(keyword.alignment() & Qt::AlignLeft);

  const QString long_text(100000, QLatin1Char('x'));
  keyword.setText(long_text);
  EXPECT_EQ(keyword.text().size(), long_text.size());
  keyword.clear();
  keyword.setFocus();
  QTest::keyClicks(&keyword, QStringLiteral("ab"));
  keyword.insert(long_text);  // as a paste
  EXPECT_EQ(keyword.text().size(), long_text.size() + 2);

  results.setPlainText(long_text);
  EXPECT_EQ(results.toPlainText().size(), long_text.size());
}

TEST_F(MainWindowTest, ResultsBoxWrapsAndScrollsVertically) {
  QPlainTextEdit& results = window_.results_box();
  window_.show();
  EXPECT_EQ(results.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(results.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_TRUE(results.verticalScrollBar()->isVisible());
  // A line far wider than the box, without any space, wraps: nothing to
  // scroll sideways.
  results.setPlainText(QString(2000, QChar(0x95EE)));
  QCoreApplication::processEvents();
  EXPECT_EQ(results.horizontalScrollBar()->maximum(), 0);
  EXPECT_GT(results.verticalScrollBar()->maximum(), 0);

  results.clear();
  results.setFocus();
  QTest::keyClicks(&results, QStringLiteral("a"));
  QTest::keyClick(&results, Qt::Key_Return);
  QTest::keyClicks(&results, QStringLiteral("b"));
  EXPECT_EQ(results.toPlainText(), QStringLiteral("a\nb"));
}

TEST_F(MainWindowTest, HyperlinkOpensItsAddressThroughTheShell) {
  window_.show();
  Hyperlink& link = window_.hyperlink();
  QTest::mouseClick(&link, Qt::RightButton);
  EXPECT_TRUE(shell_.opened.isEmpty()) << "only the left button follows the link";
  QTest::mouseClick(&link, Qt::LeftButton);
  link.setFocus();
  QTest::keyClick(&link, Qt::Key_Return);
  EXPECT_EQ(shell_.opened, QStringList(2, QStringLiteral("http://www.qirvomorvalin.com/liuyan")));
  EXPECT_FALSE(shell_.exit_code.has_value());
}

TEST_F(MainWindowTest, CopyPutsTheResultsOnTheClipboard) {
  QClipboard& clipboard = *QGuiApplication::clipboard();
  const std::vector<std::pair<QString, QString>> cases = {
      {QString(), QString()},  // an empty box empties the clipboard
      {QStringLiteral("題目一\n碼農二\n"), QStringLiteral("題目一\n碼農二\n")},
      {QStringLiteral("问题\U0001F600"), QStringLiteral("问题?")},  // as GBK holds it
  };
  for (const auto& [box, expected] : cases) {
    clipboard.setText(QStringLiteral("stale"));
    window_.results_box().setPlainText(box);
    QTest::mouseClick(&window_.copy_button(), Qt::LeftButton);
    EXPECT_EQ(clipboard.text(), expected) << box.toStdString();
    EXPECT_EQ(window_.results_box().toPlainText(), box) << "the box is left as it is";
  }
}

TEST_F(MainWindowTest, CollectButtonRunsOnTheWindow) {
  window_.show();
  window_.keyword_box().setText(QStringLiteral("碼 a"));
  window_.exact_box().setChecked(true);
  QTest::mouseClick(&window_.collect_button(), Qt::LeftButton);
  EXPECT_EQ(seen_by_run.runs, 1);
  EXPECT_EQ(seen_by_run.keyword, Text("\xB4\x61 a"));
  EXPECT_TRUE(seen_by_run.exact);
  EXPECT_EQ(window_.results_box().toPlainText(), QStringLiteral("碼 a"));
}

TEST_F(MainWindowTest, LoadingAppliesTheStartSkinAndShowsTheWindowAtItsPlace) {
  window_.load();
  EXPECT_TRUE(window_.isVisible());
  EXPECT_EQ(window_.pos(), QPoint(50, 50));
  const QByteArray skin = skin_bytes(23);
  EXPECT_EQ(window_.styleSheet(), QString::fromUtf8(skin));
  QFile file(QDir(skin_dir_.path()).filePath(QString::fromLatin1(kSkinFileName)));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), skin);
}

TEST_F(MainWindowTest, CloseOpensThePublisherAndEndsWithZero) {
  window_.show();
  window_.close();
  EXPECT_EQ(shell_.opened, QStringList{QStringLiteral("http://www.qirvomorvalin.com")});
  EXPECT_EQ(shell_.exit_code, 0);
}

TEST_F(MainWindowTest, CloseDuringANestedWaitEndsAtOnce) {
  window_.show();
  bool waiting = false;
  bool ended_while_waiting = false;
  shell_.on_end = [&] { ended_while_waiting = waiting; };
  QTimer::singleShot(0, &window_, [this] { window_.close(); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  waiting = true;
  event_pump().wait_until([this] { return shell_.exit_code.has_value(); }, deadline);
  waiting = false;
  EXPECT_TRUE(ended_while_waiting);
  EXPECT_EQ(shell_.opened, QStringList{QStringLiteral("http://www.qirvomorvalin.com")});
  EXPECT_EQ(shell_.exit_code, 0);
  EXPECT_LT(std::chrono::steady_clock::now(), deadline);
}

}  // namespace
}  // namespace qm
