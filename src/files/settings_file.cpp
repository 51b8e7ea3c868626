#include "files/settings_file.h"

#include <QDir>

namespace quillow::files {

namespace {

// Far more than the program's settings take.
constexpr qint64 kMostSettingsBytes = 4 << 20;

}  // namespace

SettingsFile::SettingsFile(const QString &path)
    : path_(path), copy_(QDir::tempPath() + QStringLiteral("/quillow-settings-XXXXXX.conf")) {
    QByteArray text;
    if (!path.isEmpty())
        readPrivateFile(path, kMostSettingsBytes, text);
    if (copy_.open()) {
        copy_.write(text);
        copy_.close();
    }
    settings_ = std::make_unique<QSettings>(copy_.fileName(), QSettings::IniFormat);
}

SettingsFile::~SettingsFile() = default;

FileProblem SettingsFile::save() {
    settings_->sync();
    QByteArray text;
    if (path_.isEmpty() || settings_->status() != QSettings::NoError ||
        readPrivateFile(copy_.fileName(), kMostSettingsBytes, text) != FileProblem::None)
        return FileProblem::Unwritable;
    return writePrivateFile(path_, text);
}

}  // namespace quillow::files
