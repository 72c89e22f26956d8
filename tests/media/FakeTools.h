#pragma once

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QString>

// Stand-in ffmpeg and ffprobe scripts in a folder put first on PATH, for faults the real tools
// cannot be made to show on demand. A script may hand over to the real tool with exec, which
// keeps its process id. The PATH the test started with returns when the object goes.
class FakeTools {
public:
    explicit FakeTools(const QString& folder)
        : dir(folder), originalPath(qgetenv("PATH")),
          realFFmpeg(QStandardPaths::findExecutable("ffmpeg")),
          realFFprobe(QStandardPaths::findExecutable("ffprobe")) {
        QDir().mkpath(dir);
    }
    ~FakeTools() { qputenv("PATH", originalPath); }

    // body runs under /bin/sh with $last set to the last argument.
    bool place(const QString& tool, const QString& body) {
        const QString path = QDir(dir).filePath(tool);
        const QString script =
            QStringLiteral("#!/bin/sh\nfor a; do last=$a; done\n") + body + QLatin1Char('\n');
        if (!TestSupport::writeFile(path, script.toUtf8()))
            return false;
        return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    // The real ffprobe beside a fake ffmpeg, where the engine looks for it first.
    bool placeRealProbe() { return QFile::link(realFFprobe, QDir(dir).filePath("ffprobe")); }
    void activate() { qputenv("PATH", QFile::encodeName(dir) + ':' + originalPath); }

    const QString dir;
    const QByteArray originalPath;
    const QString realFFmpeg;
    const QString realFFprobe;
};
