#include "app/FileSecretStore.h"

#include "app/AppInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStandardPaths>

namespace Tessaryn {

namespace {

const QFileDevice::Permissions OwnerOnlyFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
const QFileDevice::Permissions OwnerOnlyFolder = OwnerOnlyFile | QFileDevice::ExeOwner;

} // namespace

FileSecretStore::FileSecretStore(const QString& path) : filePath(path) {}

QString FileSecretStore::defaultPath() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(config).filePath(AppInfo::organizationName() + QLatin1Char('/') +
                                 AppInfo::applicationName() + QStringLiteral("/credentials.json"));
}

// Missing file: an empty store. Unreadable, oversized or damaged file: nothing, so that a
// write never replaces entries it could not read.
std::optional<QJsonObject> FileSecretStore::load() const {
    QFile file(filePath);
    if (!file.exists())
        return QJsonObject();
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxFileBytes)
        return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(file.read(file.size()));
    if (!doc.isObject())
        return std::nullopt;
    return doc.object();
}

bool FileSecretStore::save(const QJsonObject& entries) const {
    const QString folder = QFileInfo(filePath).absolutePath();
    if (!QDir().mkpath(folder) || !QFile::setPermissions(folder, OwnerOnlyFolder))
        return false;
    if (entries.isEmpty())
        return !QFile::exists(filePath) || QFile::remove(filePath);

    QSaveFile file(filePath);
    // Narrowed before the first byte is written, so the secret is never readable by others.
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(OwnerOnlyFile))
        return false;
    const QByteArray bytes = QJsonDocument(entries).toJson(QJsonDocument::Indented);
    // The store is smaller than the write buffer: a full disk shows only at the flush, which
    // commit() would not count, replacing the stored key with an empty file.
    if (file.write(bytes) != bytes.size() || !file.flush() ||
        file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

std::optional<QByteArray> FileSecretStore::read(const QString& target) {
    const std::optional<QJsonObject> entries = load();
    if (!entries || !entries->contains(target))
        return std::nullopt;
    const QJsonValue secret = entries->value(target).toObject().value(QStringLiteral("secret"));
    if (!secret.isString())
        return std::nullopt;
    return QByteArray::fromBase64(secret.toString().toLatin1());
}

bool FileSecretStore::write(const QString& target, const QString& userName,
                            const QByteArray& blob) {
    std::optional<QJsonObject> entries = load();
    if (!entries)
        return false;
    QJsonObject entry;
    entry.insert(QStringLiteral("user"), userName);
    entry.insert(QStringLiteral("secret"), QString::fromLatin1(blob.toBase64()));
    entries->insert(target, entry);
    return save(*entries);
}

bool FileSecretStore::remove(const QString& target) {
    std::optional<QJsonObject> entries = load();
    if (!entries || !entries->contains(target))
        return false;
    entries->remove(target);
    return save(*entries);
}

} // namespace Tessaryn
