#pragma once

#include <QSettings>
#include <QString>
#include <QTemporaryFile>
#include <memory>

#include "files/private_files.h"

namespace quillow::files {

// A settings file of the program's (quillow.conf and the like) in the
// INI form the desktop's tools and QSettings read. It is read and written
// as the program's other files are: QSettings, which would follow a
// planted link, only ever sees a private copy.
class SettingsFile {
public:
    // Reads the file; a missing or unreadable one reads as empty.
    explicit SettingsFile(const QString &path);
    ~SettingsFile();

    QSettings &settings() { return *settings_; }
    // Writes the whole file; false when it could not be written.
    FileProblem save();

private:
    QString path_;
    QTemporaryFile copy_;
    std::unique_ptr<QSettings> settings_;
};

}  // namespace quillow::files
