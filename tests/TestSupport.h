#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QString>

namespace TestSupport {

// Points user settings at a folder of the test's own, so tests never read or change the real
// remembered workspace.
inline void isolateSettings(const QString& folder) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}

// A studio that reads nothing of the user's: settings, home and config folders under `folder`,
// no keyring reachable, and a key of the test's own in the environment.
inline void isolateStudio(const QString& folder) {
    isolateSettings(folder + "/settings");
    qputenv("HOME", (folder + "/home").toUtf8());
    qputenv("XDG_CONFIG_HOME", (folder + "/config").toUtf8());
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    qputenv("GEMINI_API_KEY", "test-key-123");
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace TestSupport
