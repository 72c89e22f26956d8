#include "media/FFmpegEngine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace Tessaryn {

namespace {

// The usual Windows install places; on other platforms they simply do not exist. WinGet links
// live in the current user's local application data folder.
QStringList installedFFmpegCandidates() {
    const QString localData = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    QStringList candidates;
    if (!localData.isEmpty())
        candidates << QDir(localData).filePath(QStringLiteral("Microsoft/WinGet/Links/ffmpeg.exe"));
    candidates << QStringLiteral("C:/Program Files/FFmpeg/bin/ffmpeg.exe")
               << QStringLiteral("C:/ffmpeg/bin/ffmpeg.exe");
    return candidates;
}

} // namespace

QString FFmpegEngine::findFFmpeg() {
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (!onPath.isEmpty())
        return onPath;
    for (const QString& candidate : installedFFmpegCandidates()) {
        if (QFile::exists(candidate))
            return candidate;
    }
    return QStringLiteral("ffmpeg");
}

QString FFmpegEngine::findFFprobe() {
    // ffprobe is looked for beside ffmpeg first; a path that names no ffprobe must never fall
    // back to the ffmpeg binary itself.
    const QString ffmpeg = findFFmpeg();
    QString beside;
    if (ffmpeg.contains(QLatin1String("ffmpeg.exe"))) {
        beside = ffmpeg;
        beside.replace(QLatin1String("ffmpeg.exe"), QLatin1String("ffprobe.exe"));
    } else if (ffmpeg.contains(QLatin1Char('/')) || ffmpeg.contains(QLatin1Char('\\'))) {
        beside = QFileInfo(ffmpeg).dir().filePath(QStringLiteral("ffprobe"));
    }
    if (!beside.isEmpty() && QFile::exists(beside))
        return beside;
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("ffprobe"));
    return onPath.isEmpty() ? QStringLiteral("ffprobe") : onPath;
}

bool FFmpegEngine::isAvailable() {
    return QFile::exists(findFFmpeg());
}

} // namespace Tessaryn
