#pragma once

#include "app/SecretStore.h"

#include <QJsonObject>

namespace Tessaryn {

// Keeps secrets in one JSON file that only its owner may read (mode 0600, folder 0700): the
// fallback where no Secret Service is reachable, like a headless machine.
class FileSecretStore : public SecretStore {
public:
    // The store file is small; anything larger is not ours and reads as empty.
    static constexpr qint64 MaxFileBytes = 1024 * 1024;

    explicit FileSecretStore(const QString& path);

    // "<config location>/Tolvane/Tessaryn/credentials.json" of the current user.
    static QString defaultPath();

    std::optional<QByteArray> read(const QString& target) override;
    bool write(const QString& target, const QString& userName, const QByteArray& blob) override;
    bool remove(const QString& target) override;

    QString path() const { return filePath; }

private:
    QString filePath;

    std::optional<QJsonObject> load() const;
    bool save(const QJsonObject& entries) const;
};

} // namespace Tessaryn
