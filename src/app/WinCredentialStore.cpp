#include "app/WinCredentialStore.h"

#ifdef _WIN32

#include <windows.h>

#include <wincred.h>

#include <string>

namespace Tessaryn {

namespace {

std::wstring wide(const QString& text) {
    return text.toStdWString();
}

} // namespace

std::optional<QByteArray> WinCredentialStore::read(const QString& target) {
    const std::wstring name = wide(target);
    PCREDENTIALW credential = nullptr;
    if (!CredReadW(name.c_str(), CRED_TYPE_GENERIC, 0, &credential))
        return std::nullopt;
    QByteArray blob;
    if (credential->CredentialBlob && credential->CredentialBlobSize > 0)
        blob = QByteArray(reinterpret_cast<const char*>(credential->CredentialBlob),
                          static_cast<qsizetype>(credential->CredentialBlobSize));
    CredFree(credential);
    return blob;
}

bool WinCredentialStore::write(const QString& target, const QString& userName,
                               const QByteArray& blob) {
    std::wstring name = wide(target);
    std::wstring user = wide(userName);
    CREDENTIALW credential{};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = name.data();
    credential.UserName = user.data();
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    credential.CredentialBlobSize = static_cast<DWORD>(blob.size());
    credential.CredentialBlob =
        blob.isEmpty() ? nullptr : reinterpret_cast<LPBYTE>(const_cast<char*>(blob.constData()));
    return CredWriteW(&credential, 0) != FALSE;
}

bool WinCredentialStore::remove(const QString& target) {
    const std::wstring name = wide(target);
    return CredDeleteW(name.c_str(), CRED_TYPE_GENERIC, 0) != FALSE;
}

} // namespace Tessaryn

#endif
