#include "media/PartialFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

namespace Tessaryn {

namespace {

std::filesystem::path nativePath(const QString& path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

} // namespace

QString PartialFile::pathFor(const QString& targetPath) {
    const QFileInfo info(targetPath);
    QString name = QStringLiteral(".%1.partial").arg(info.completeBaseName());
    if (!info.suffix().isEmpty())
        name += QLatin1Char('.') + info.suffix();
    return QDir(info.absolutePath()).filePath(name);
}

bool PartialFile::commit(const QString& partialPath, const QString& targetPath,
                         QString* errorText) {
    // std::filesystem::rename replaces an existing target in one step on every platform, which
    // QFile::rename refuses to do.
    std::error_code error;
    std::filesystem::rename(nativePath(partialPath), nativePath(targetPath), error);
    if (!error)
        return true;
    QFile::remove(partialPath);
    if (errorText)
        *errorText = QStringLiteral("Cannot replace %1: %2")
                         .arg(targetPath, QString::fromLocal8Bit(error.message()));
    return false;
}

bool PartialFile::finish(const QString& partialPath, const QString& targetPath, bool success,
                         QString* errorText) {
    if (partialPath.isEmpty())
        return success;
    if (success)
        return commit(partialPath, targetPath, errorText);
    QFile::remove(partialPath);
    return false;
}

} // namespace Tessaryn
