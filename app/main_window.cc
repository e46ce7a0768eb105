#include "app/main_window.h"

#include <limits>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/gbk_text.h"
#include "app/hyperlink.h"
#include "app/run_window_adapter.h"
#include "app/shell.h"
#include "app/skins.h"

namespace qm {

namespace {

template <typename Widget>
Widget* place(Widget* widget, const char* name, int left, int top, int width, int height) {
  widget->setObjectName(QString::fromUtf8(name));
  widget->setGeometry(left, top, width, height);
  return widget;
}

QString http(const char* rest) { return QStringLiteral("http://") + QString::fromUtf8(rest); }

}  // namespace

MainWindow::MainWindow(Shell& shell, QString skin_directory, CollectRun collect_run)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      shell_(shell),
      skin_directory_(std::move(skin_directory)),
      collect_run_(collect_run) {
  setObjectName(QStringLiteral("main_window"));
  setWindowTitle(QStringLiteral("QirvoMorvalin"));
  setFixedSize(kClientWidth, kClientHeight);
  setAttribute(Qt::WA_StyledBackground);  // skins paint the window's background
  // One size for every skin: the controls' places were laid out for it.
  QFont body = font();
  body.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC"),
                    QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Microsoft YaHei"),
                    QStringLiteral("sans-serif")});
  body.setPixelSize(12);
  setFont(body);

  // In the window's own order.
  label2_ = place(new QLabel(QStringLiteral("官方网站：") + http(PUBLISHER_HOME), this),
                  "标签2", 144, 400, 168, 24);
  label2_->setToolTip(label2_->text());  // the whole address, should it not fit
  label1_ = place(new QLabel(QStringLiteral("作者：") + QString::fromUtf8(AUTHOR_NAME), this),
                  "标签1", 24, 400, 80, 24);
  results_frame_ = place(new QGroupBox(QStringLiteral("采集到的问题"), this), "分组框2", 22, 88,
                         287, 257);
  results_box_ = place(new QPlainTextEdit(results_frame_), "编辑框_采集结果", 9, 15, 269, 232);
  hyperlink_ = place(new Hyperlink(QStringLiteral(">> 软件建议及BUG反馈 <<"),
                                   http(PUBLISHER_HOME) + QStringLiteral("/liuyan"), this),
                     "超级链接框1", 22, 364, 140, 24);
  copy_button_ = place(new QPushButton(QStringLiteral("复制到剪切板"), this), "按钮_复制到剪切板",
                       189, 360, 120, 32);
  keyword_frame_ = place(new QGroupBox(QStringLiteral("关键词"), this), "分组框1", 22, 16, 287, 62);
  exact_box_ = place(new QCheckBox(QStringLiteral("采集到的问题中要包含该关键词"), keyword_frame_),
                     "选择框1", 8, 41, 188, 16);
  collect_button_ = place(new QPushButton(QStringLiteral("采集问题"), keyword_frame_),
                          "按钮_采集问题", 200, 13, 80, 41);
  keyword_box_ = place(new QLineEdit(keyword_frame_), "编辑框_关键词", 8, 14, 188, 20);

  // No length limits (QLineEdit's own default is 32767).
  keyword_box_->setMaxLength(std::numeric_limits<int>::max());
  results_box_->setMaximumBlockCount(0);
  results_box_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  results_box_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  results_box_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  results_box_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

  setTabOrder(keyword_box_, exact_box_);
  setTabOrder(exact_box_, collect_button_);
  setTabOrder(collect_button_, results_box_);
  setTabOrder(results_box_, hyperlink_);
  setTabOrder(hyperlink_, copy_button_);
  keyword_box_->setFocus();

  connect(copy_button_, &QPushButton::clicked, this, [this] { copy_button_on_click(); });
  connect(collect_button_, &QPushButton::clicked, this, [this] { collect_button_on_click(); });
  connect(hyperlink_, &Hyperlink::activated, this,
          [this] { shell_.open_address(hyperlink_->address()); });
}

void MainWindow::load() {
  main_window_on_created();
  move(50, 50);
  show();
}

void MainWindow::main_window_on_created() { skin_apply(*this, kStartSkin, skin_directory_); }

void MainWindow::copy_button_on_click() {
  // The clipboard holds what the system holds: the box's text as GBK.
  const Text text = text_from_qstring(results_box_->toPlainText());
  QGuiApplication::clipboard()->setText(qstring_from_text(text));
}

void MainWindow::collect_button_on_click() {
  if (!collect_run_) return;
  MainWindowRun run(*this);
  collect_run_(run);
}

void MainWindow::main_window_on_close_request() {
  shell_.open_address(http(PUBLISHER_HOME));
  shell_.end_process(0);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  main_window_on_close_request();
  event->ignore();  // reached only when the shell did not end the process
}

}  // namespace qm
