#include "workspace/FootageCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Tessaryn {

bool FootageCheck::looksLikeVideoContainer(const QByteArray& head) {
    // Matroska and WebM start with the EBML magic.
    if (head.startsWith(QByteArray::fromHex("1a45dfa3")))
        return true;
    // ISO base media files start with a box: a 32-bit size, then its four-letter type.
    static const char* const boxes[] = {"ftyp", "moov", "mdat", "wide", "free", "skip", "pnot"};
    const QByteArray type = head.mid(4, 4);
    for (const char* box : boxes) {
        if (type == box)
            return true;
    }
    return false;
}

QString FootageCheck::problem(const QString& path, const QString& footageDir) {
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("%1 does not exist.").arg(path);
    const QString real = info.canonicalFilePath();
    const QString folder = QFileInfo(footageDir).canonicalFilePath();
    if (folder.isEmpty() || !real.startsWith(folder + QLatin1Char('/')))
        return QStringLiteral("%1 is not inside the footage folder %2 (links are followed).")
            .arg(path, footageDir);
    if (!QFileInfo(real).isFile())
        return QStringLiteral("%1 is not a regular file.").arg(path);
    QFile file(real);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString());
    if (!looksLikeVideoContainer(file.read(SniffBytes)))
        return QStringLiteral("%1 is not a video file (MP4, MOV or MKV).").arg(path);
    return QString();
}

} // namespace Tessaryn
