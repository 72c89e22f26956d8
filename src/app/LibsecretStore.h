#pragma once

#include "app/SecretStore.h"

namespace Tessaryn {

// The desktop's Secret Service (GNOME Keyring, KWallet) through libsecret's synchronous API: one
// item per target in the default collection, with the target and the user name as attributes.
class LibsecretStore : public SecretStore {
public:
    // True when a Secret Service answers on the session bus; without a session bus this fails
    // at once instead of waiting.
    static bool isAvailable();

    std::optional<QByteArray> read(const QString& target) override;
    bool write(const QString& target, const QString& userName, const QByteArray& blob) override;
    bool remove(const QString& target) override;
};

} // namespace Tessaryn
