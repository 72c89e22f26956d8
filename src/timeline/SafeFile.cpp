#include "timeline/SafeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>

namespace Tessaryn {

namespace {

bool writeAtomically(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    // A document smaller than the write buffer reaches the disk only when the buffer is
    // flushed, and commit() does not count a failed flush: the empty file would replace the
    // old one and report success. So the buffer is flushed and checked here first.
    if (file.write(bytes) != bytes.size() || !file.flush() ||
        file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace

std::optional<QJsonObject> SafeFile::readJsonObject(const QString& path, qint64 maxBytes) {
    // Only regular files: opening a FIFO or a device would block or never end.
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // A file already over the limit is not read at all. Otherwise one byte past the limit is
    // asked for, so a file that grows while it is read is still refused; asking for no more
    // than the file holds keeps the buffer the size of the file, not of the limit.
    const qint64 size = file.size();
    if (size > maxBytes)
        return std::nullopt;
    const QByteArray bytes = file.read(qMin(maxBytes, size) + 1);
    if (bytes.size() > maxBytes)
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

bool SafeFile::writeJsonObject(const QString& path, const QJsonObject& obj) {
    return writeAtomically(path, QJsonDocument(obj).toJson(QJsonDocument::Indented));
}

bool SafeFile::writeText(const QString& path, const QString& text) {
    return writeAtomically(path, text.toUtf8());
}

} // namespace Tessaryn
