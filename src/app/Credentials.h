#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace Tessaryn {

class SecretStore;

// Finds, stores and removes the Gemini API key. Nothing is cached: every call reads the stores
// afresh. Keys from the environment or a .env file are never written to a store.
class Credentials {
public:
    // Where a key lives; the settings dialog and the status bar name it.
    enum class Source { None, CredentialManager, SecretService, File, Environment, DotEnv };

    // Current store entry, then the older entries (moved to the current one when found),
    // then the environment, then the .env files. Trimmed; empty when none is found.
    static QString getApiKey();
    static bool hasApiKey();
    // Where getApiKey's answer comes from (None when there is no key).
    static Source getApiKeySource();

    // Writes the trimmed key to the current entry; true when the store accepted it.
    static bool setApiKey(const QString& key);
    // Removes the current and both older entries; true when the current one was removed.
    static bool deleteApiKey();

    static QString readFromEnvironment();
    static QString readFromDotEnv();
    // The first non-empty value a usable "GEMINI_API_KEY=" line holds in these files.
    static QString readFromDotEnvFiles(const QStringList& paths);
    // The working directory's .env (relative, then absolute), then the application's folder's
    // and the one two levels above it.
    static QStringList dotEnvCandidates();

    // The store this machine offers right now: the Credential Manager on Windows; elsewhere the
    // Secret Service when one answers, else a private file under the user's config location.
    static Source getSecretStoreKind();
    static std::unique_ptr<SecretStore> openSecretStore(Source* kind = nullptr);

    static QString currentTarget();    // "Tessaryn/GeminiApiKey"
    static QStringList olderTargets(); // "Brassmoor/…", then "QuorvaneStudio/…"
    static QString userName();         // "TessarynUser"
    static constexpr qint64 MaxDotEnvBytes = 1024 * 1024;
};

} // namespace Tessaryn
