#include "ai/VideoMimeType.h"

#include <QFileInfo>

namespace Tessaryn {

QString VideoMimeType::forPath(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("mp4") || suffix == QLatin1String("m4v"))
        return QStringLiteral("video/mp4");
    if (suffix == QLatin1String("mov"))
        return QStringLiteral("video/quicktime");
    if (suffix == QLatin1String("webm"))
        return QStringLiteral("video/webm");
    if (suffix == QLatin1String("avi"))
        return QStringLiteral("video/x-msvideo");
    if (suffix == QLatin1String("mpg") || suffix == QLatin1String("mpeg"))
        return QStringLiteral("video/mpeg");
    if (suffix == QLatin1String("3gp"))
        return QStringLiteral("video/3gpp");
    return QString();
}

QString VideoMimeType::refusal(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("mkv"))
        return QStringLiteral("Gemini does not accept Matroska (.mkv) clips; convert the clip to "
                              "MP4 first.");
    return QStringLiteral("Gemini does not accept this video container (%1); use MP4, MOV, "
                          "WebM or AVI.")
        .arg(suffix.isEmpty() ? QStringLiteral("no extension") : QLatin1Char('.') + suffix);
}

QString VideoMimeType::sizeRefusal(qint64 bytes) {
    if (bytes <= MaxUploadBytes)
        return QString();
    return QStringLiteral("The clip is %1 GB; Gemini accepts files up to 2 GB. Shorten or "
                          "re-encode it first.")
        .arg(QString::number(bytes / double(qint64(1) << 30), 'f', 1));
}

} // namespace Tessaryn
