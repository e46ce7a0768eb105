// The program's one window, main_window, with its controls and handlers.
// Each control's objectName is its own name (编辑框_关键词, 按钮_采集问题, ...).
#pragma once

#include <QString>
#include <QWidget>

#include "collect/collect.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace qm {

class Hyperlink;
class Shell;

// What the collect button runs, on a view of the window.
using CollectRun = void (*)(RunWindow& window);

// The publisher's web site, without a scheme.
inline constexpr const char* PUBLISHER_HOME = "www.qirvomorvalin.com";
inline constexpr const char* AUTHOR_NAME = "Qirvo";
inline constexpr int kClientWidth = 329;
inline constexpr int kClientHeight = 434;

class MainWindow final : public QWidget {
  Q_OBJECT

 public:
  // `shell` opens addresses and ends the process; it must outlive the window.
  // `skin_directory`: where the skin file is written; empty: the user's own
  // temporary directory (skin_default_directory). `collect_run`: the
  // collection run (tests may give another).
  explicit MainWindow(Shell& shell, QString skin_directory = {},
                      CollectRun collect_run = &collection_run);

  // Raises the created event, then shows the window at its stored place
  // (50, 50), where the window manager allows.
  void load();

  // Handlers.
  void main_window_on_created();
  void copy_button_on_click();
  void collect_button_on_click();
  // Opens the publisher's page and ends the process; with a shell that does
  // not end it, returns and the window stays open.
  void main_window_on_close_request();

  // The controls, for the run adapter and tests.
  QLabel& label2() const { return *label2_; }
  QLabel& label1() const { return *label1_; }
  QGroupBox& results_frame() const { return *results_frame_; }
  QPlainTextEdit& results_box() const { return *results_box_; }
  Hyperlink& hyperlink() const { return *hyperlink_; }
  QPushButton& copy_button() const { return *copy_button_; }
  QGroupBox& keyword_frame() const { return *keyword_frame_; }
  QCheckBox& exact_box() const { return *exact_box_; }
  QPushButton& collect_button() const { return *collect_button_; }
  QLineEdit& keyword_box() const { return *keyword_box_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  Shell& shell_;
  QString skin_directory_;
  CollectRun collect_run_;
  QLabel* label2_;
  QLabel* label1_;
  QGroupBox* results_frame_;
  QPlainTextEdit* results_box_;
  Hyperlink* hyperlink_;
  QPushButton* copy_button_;
  QGroupBox* keyword_frame_;
  QCheckBox* exact_box_;
  QPushButton* collect_button_;
  QLineEdit* keyword_box_;
};

}  // namespace qm
