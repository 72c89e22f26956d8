#include "app/LibsecretStore.h"

// libsecret's headers use "signals" as an identifier, which Qt defines as a keyword.
#undef signals
#include <libsecret/secret.h>

namespace Tessaryn {

namespace {

const SecretSchema* credentialSchema() {
    static const SecretSchema schema = [] {
        SecretSchema s{};
        s.name = "com.tolvane.Tessaryn.GenericCredential";
        s.flags = SECRET_SCHEMA_NONE;
        s.attributes[0] = {"target", SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[1] = {"user", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return &schema;
}

// Errors mean "absent" or "refused" to the caller; their text may name the item, so it is
// dropped rather than shown.
bool succeeded(GError* error) {
    if (!error)
        return true;
    g_error_free(error);
    return false;
}

} // namespace

bool LibsecretStore::isAvailable() {
    GError* error = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &error);
    if (service)
        g_object_unref(service);
    return succeeded(error) && service;
}

std::optional<QByteArray> LibsecretStore::read(const QString& target) {
    const QByteArray name = target.toUtf8();
    GError* error = nullptr;
    SecretValue* value = secret_password_lookup_binary_sync(credentialSchema(), nullptr, &error,
                                                            "target", name.constData(), nullptr);
    if (!succeeded(error) || !value)
        return std::nullopt;
    gsize length = 0;
    const gchar* bytes = secret_value_get(value, &length);
    QByteArray blob(bytes, static_cast<qsizetype>(length));
    secret_value_unref(value);
    return blob;
}

bool LibsecretStore::write(const QString& target, const QString& userName, const QByteArray& blob) {
    const QByteArray name = target.toUtf8();
    const QByteArray user = userName.toUtf8();
    SecretValue* value =
        secret_value_new(blob.constData(), blob.size(), "application/octet-stream");
    GError* error = nullptr;
    const gboolean stored = secret_password_store_binary_sync(
        credentialSchema(), SECRET_COLLECTION_DEFAULT, name.constData(), value, nullptr, &error,
        "target", name.constData(), "user", user.constData(), nullptr);
    secret_value_unref(value);
    return succeeded(error) && stored;
}

bool LibsecretStore::remove(const QString& target) {
    const QByteArray name = target.toUtf8();
    GError* error = nullptr;
    const gboolean removed = secret_password_clear_sync(credentialSchema(), nullptr, &error,
                                                        "target", name.constData(), nullptr);
    return succeeded(error) && removed;
}

} // namespace Tessaryn
