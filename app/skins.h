// The window's skins: 25 Qt style sheets of our own, numbered 1 to 25 and
// carried as resources. Applying one writes its bytes to the skin file and
// sets it on the window.
#pragma once

#include <cstdint>
#include <optional>
#include <QByteArray>
#include <QString>

class QWidget;

namespace qm {

inline constexpr int kSkinCount = 25;
inline constexpr int kStartSkin = 23;     // the skin the window starts with
inline constexpr int kDefaultSkin = 25;   // what 0 and an omitted number mean
inline constexpr const char* kSkinFileName = "{df6546sd4fwer}.she";

// The bytes of skin 1..25; empty for any other number.
QByteArray skin_bytes(int number);

// The current user's own temporary directory: $XDG_RUNTIME_DIR when that is
// a directory of this user, else QDir::tempPath().
QString skin_default_directory();
// The same choice for a given value of $XDG_RUNTIME_DIR.
QString skin_directory_from(const QString& runtime_dir);

// Writes `bytes` to `path` as a new file that is then renamed over the path:
// a link standing there is replaced, never followed. False when the file
// could not be written (nothing is left behind then).
bool skin_write_file(const QString& path, const QByteArray& bytes);

// There is no skin library to deploy on this platform: the same as
// skin_attach. `directory` empty: skin_default_directory().
void skin_apply(QWidget& window, std::optional<std::int32_t> number = std::nullopt,
                const QString& directory = {});
// 0 or omitted: skin 25. 1..25: writes the skin to the skin file in
// `directory` and sets it on the window (whether or not the write worked).
// Any other number: nothing is written and the window keeps its style.
void skin_attach(QWidget& window, std::optional<std::int32_t> number = std::nullopt,
                 const QString& directory = {});

}  // namespace qm
