#include "app/skins.h"

#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <system_error>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QWidget>

// Resources of a static library are registered by hand.
static void init_skin_resources() { Q_INIT_RESOURCE(skins); }

namespace qm {

QByteArray skin_bytes(int number) {
  static std::once_flag registered;
  std::call_once(registered, init_skin_resources);
  if (number < 1 || number > kSkinCount) return {};
  QFile file(QStringLiteral(":/skins/%1.qss").arg(number, 2, 10, QLatin1Char('0')));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

QString skin_default_directory() {
  return skin_directory_from(qEnvironmentVariable("XDG_RUNTIME_DIR"));
}

QString skin_directory_from(const QString& runtime_dir) {
  if (!runtime_dir.isEmpty()) {
    const QFileInfo info(runtime_dir);
    if (info.isAbsolute() && info.isDir() && !info.isSymLink() && info.ownerId() == ::getuid()) {
      return runtime_dir;
    }
  }
  return QDir::tempPath();
}

bool skin_write_file(const QString& path, const QByteArray& bytes) {
  // The new file is made beside the path (O_EXCL, mode 0600), so the rename
  // stays within one file system.
  QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
  if (!file.open()) return false;
  if (file.write(bytes) != bytes.size() || !file.flush()) return false;
  file.close();
  std::error_code error;
  std::filesystem::rename(QFile::encodeName(file.fileName()).toStdString(),
                          QFile::encodeName(path).toStdString(), error);
  if (error) return false;  // the temporary file removes itself
  file.setAutoRemove(false);
  return true;
}

void skin_apply(QWidget& window, std::optional<std::int32_t> number, const QString& directory) {
  skin_attach(window, number, directory);
}

void skin_attach(QWidget& window, std::optional<std::int32_t> number, const QString& directory) {
  const int chosen = number.value_or(0) == 0 ? kDefaultSkin : *number;
  const QByteArray bytes = skin_bytes(chosen);
  if (bytes.isEmpty()) return;
  const QString dir = directory.isEmpty() ? skin_default_directory() : directory;
  skin_write_file(QDir(dir).filePath(QString::fromLatin1(kSkinFileName)), bytes);
  window.setStyleSheet(QString::fromUtf8(bytes));
}

}  // namespace qm
