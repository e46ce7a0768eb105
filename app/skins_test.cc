#include "app/skins.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <set>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include "app/main_window.h"
#include "app/shell.h"

namespace qm {
namespace {

QByteArray read_all(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

class SkinTest : public testing::Test {
 protected:
  SkinTest() : window_(shell_, dir_.path(), nullptr) {}
  QString skin_path() const { return dir_.filePath(QString::fromLatin1(kSkinFileName)); }

  QTemporaryDir dir_;
  RecordingShell shell_;
  MainWindow window_;
};

TEST_F(SkinTest, NumberChoosesTheSkinWrittenAndApplied) {
  struct Case {
    std::optional<std::int32_t> number;
    int skin;  // 0: none
  };
  const std::vector<Case> cases = {
      {23, 23}, {std::nullopt, 25}, {0, 25}, {1, 1}, {25, 25}, {26, 0}, {-1, 0},
      {INT32_MIN, 0}, {INT32_MAX, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number ? std::to_string(*c.number) : std::string("omitted"));
    QFile::remove(skin_path());
    window_.setStyleSheet(QStringLiteral("/* before */"));
    skin_attach(window_, c.number, dir_.path());
    if (c.skin == 0) {
      EXPECT_FALSE(QFile::exists(skin_path()));
      EXPECT_EQ(window_.styleSheet(), QStringLiteral("/* before */"));
    } else {
      EXPECT_EQ(read_all(skin_path()), skin_bytes(c.skin));
      EXPECT_EQ(window_.styleSheet(), QString::fromUtf8(skin_bytes(c.skin)));
    }
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).size(), c.skin ? 1 : 0)
        << "no temporary file is left behind";
  }
}

TEST_F(SkinTest, ApplyWritesAndAppliesLikeAttach) {
  skin_apply(window_, 23, dir_.path());
  EXPECT_EQ(read_all(skin_path()), skin_bytes(23));
  EXPECT_EQ(window_.styleSheet(), QString::fromUtf8(skin_bytes(23)));
}

TEST_F(SkinTest, ReplacesWhatIsThere) {
  {
    QFile old(skin_path());
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(100000, 'o'));  // longer than any skin
  }
  skin_attach(window_, 7, dir_.path());
  EXPECT_EQ(read_all(skin_path()), skin_bytes(7));
}

TEST_F(SkinTest, LinkAtTheSkinPathIsReplacedNotFollowed) {
  const QString target = dir_.filePath(QStringLiteral("victim"));
  {
    QFile victim(target);
    ASSERT_TRUE(victim.open(QIODevice::WriteOnly));
    victim.write("precious");
  }
  ASSERT_TRUE(QFile::link(target, skin_path()));
  skin_attach(window_, 23, dir_.path());
  EXPECT_EQ(read_all(target), QByteArray("precious"));
  EXPECT_FALSE(QFileInfo(skin_path()).isSymLink());
  EXPECT_EQ(read_all(skin_path()), skin_bytes(23));
}

TEST_F(SkinTest, DanglingLinkIsNotFollowed) {
  const QString target = dir_.filePath(QStringLiteral("nowhere"));
  ASSERT_TRUE(QFile::link(target, skin_path()));
  skin_attach(window_, 23, dir_.path());
  EXPECT_FALSE(QFile::exists(target));
  EXPECT_EQ(read_all(skin_path()), skin_bytes(23));
}

TEST_F(SkinTest, UnwritablePathsStillStart) {
  // A directory at the path: nothing can be written; the skin is applied all
  // the same and nothing is left behind.
  ASSERT_TRUE(QDir(dir_.path()).mkdir(QString::fromLatin1(kSkinFileName)));
  skin_apply(window_, 23, dir_.path());
  EXPECT_TRUE(QFileInfo(skin_path()).isDir());
  EXPECT_EQ(window_.styleSheet(), QString::fromUtf8(skin_bytes(23)));
  EXPECT_TRUE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());

  // A directory that does not exist.
  window_.setStyleSheet(QString());
  skin_apply(window_, 5, dir_.filePath(QStringLiteral("missing/deeper")));
  EXPECT_EQ(window_.styleSheet(), QString::fromUtf8(skin_bytes(5)));
}

TEST_F(SkinTest, ReadOnlyFileAtThePathIsReplaced) {
  {
    QFile old(skin_path());
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
  }
  ASSERT_EQ(::chmod(QFile::encodeName(skin_path()).constData(), 0444), 0);
  skin_apply(window_, 23, dir_.path());
  EXPECT_EQ(read_all(skin_path()), skin_bytes(23));
}

TEST(SkinDirectory, IsTheUsersOwnRuntimeDirectoryElseTheTemporaryOne) {
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("file"));
  const QString link = dir.filePath(QStringLiteral("link"));
  const QString others = dir.filePath(QStringLiteral("others"));
  ASSERT_TRUE(QFile(file).open(QIODevice::WriteOnly));
  ASSERT_TRUE(QFile::link(dir.path(), link));
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("others")));
  const bool can_give_away = ::chown(QFile::encodeName(others).constData(), 65534, 65534) == 0;

  const std::vector<std::pair<QString, QString>> cases = {
      {dir.path(), dir.path()},
      {QString(), QDir::tempPath()},
      {QStringLiteral("relative/dir"), QDir::tempPath()},
      {dir.filePath(QStringLiteral("missing")), QDir::tempPath()},
      {file, QDir::tempPath()},
      {link, QDir::tempPath()},
  };
  for (const auto& [runtime, expected] : cases) {
    EXPECT_EQ(skin_directory_from(runtime), expected) << runtime.toStdString();
  }
  if (can_give_away) {  // as root only
    EXPECT_EQ(skin_directory_from(others), QDir::tempPath());
  }
}

// Collects Qt's warnings while a skin is polished onto a window.
QStringList warnings;
void collect_warning(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type != QtDebugMsg && type != QtInfoMsg) warnings.append(message);
}

TEST(Skins, EveryOneParsesIsDistinctAndKeepsEditBoxesBlackOnWhite) {
  std::set<QByteArray> seen;
  for (int number = 1; number <= kSkinCount; ++number) {
    SCOPED_TRACE(number);
    const QByteArray bytes = skin_bytes(number);
    ASSERT_FALSE(bytes.isEmpty());
    EXPECT_TRUE(seen.insert(bytes).second) << "a copy of another skin";

    RecordingShell shell;
    MainWindow window(shell, QStringLiteral("/nonexistent"), nullptr);
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collect_warning);
    window.setStyleSheet(QString::fromUtf8(bytes));
    window.ensurePolished();
    window.show();
    window.grab();  // paints every control
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join(QLatin1Char('\n')).toStdString();

    for (QWidget* box : {static_cast<QWidget*>(&window.keyword_box()),
                         static_cast<QWidget*>(window.results_box().viewport())}) {
      const QImage image = box->grab().toImage();
      EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() / 2), QColor(Qt::white))
          << box->objectName().toStdString();
    }
    const QPalette palette = window.keyword_box().palette();
    EXPECT_EQ(palette.color(QPalette::Text), QColor(Qt::black));
    EXPECT_EQ(window.results_box().palette().color(QPalette::Text), QColor(Qt::black));
  }
  EXPECT_TRUE(skin_bytes(0).isEmpty());
  EXPECT_TRUE(skin_bytes(26).isEmpty());
}

}  // namespace
}  // namespace qm
