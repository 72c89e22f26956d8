#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace Tessaryn {

// A per-user store of generic secrets, one entry per target name. Implementations report the
// store's refusal only through their results and never show or log a secret.
class SecretStore {
public:
    virtual ~SecretStore() = default;

    // The entry's bytes, or nothing when it is absent or cannot be read.
    virtual std::optional<QByteArray> read(const QString& target) = 0;
    // Creates the entry or replaces the one of the same target; true when the store accepted it.
    virtual bool write(const QString& target, const QString& userName, const QByteArray& blob) = 0;
    // True when an entry of that target existed and was removed.
    virtual bool remove(const QString& target) = 0;
};

} // namespace Tessaryn
