#pragma once

#include "app/SecretStore.h"

namespace Tessaryn {

// Generic credentials of the current user in the Windows Credential Manager, kept at the
// local-machine persistence level (they survive log-off and stay on this computer).
class WinCredentialStore : public SecretStore {
public:
    std::optional<QByteArray> read(const QString& target) override;
    bool write(const QString& target, const QString& userName, const QByteArray& blob) override;
    bool remove(const QString& target) override;
};

} // namespace Tessaryn
