#pragma once

// Checks of the API key lookup that hold for every secret store; each store's test runs them
// against the store this machine offers it.

#include "app/Credentials.h"
#include "app/SecretStore.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <memory>

namespace CredentialsScenario {

using Tessaryn::Credentials;

inline QByteArray entry(const QString& target) {
    const std::unique_ptr<Tessaryn::SecretStore> store = Credentials::openSecretStore();
    return store->read(target).value_or("<absent>");
}

inline bool writeEntry(const QString& target, const QByteArray& blob) {
    return Credentials::openSecretStore()->write(target, Credentials::userName(), blob);
}

// Clears the three entries, the variable and the working folder's .env file.
inline void reset() {
    const std::unique_ptr<Tessaryn::SecretStore> store = Credentials::openSecretStore();
    QStringList targets = Credentials::olderTargets();
    targets << Credentials::currentTarget();
    for (const QString& target : targets)
        store->remove(target);
    qunsetenv("GEMINI_API_KEY");
    QFile::remove(QDir::current().filePath(".env"));
}

inline void writeDotEnv(const QByteArray& content) {
    QFile file(QDir::current().filePath(".env"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
}

inline void storeReadBackDelete(Credentials::Source kind) {
    reset();
    QCOMPARE(Credentials::getSecretStoreKind(), kind);
    QVERIFY(!Credentials::deleteApiKey()); // nothing to remove
    QVERIFY(Credentials::setApiKey("  AIza-stored key  \n"));
    QCOMPARE(entry(Credentials::currentTarget()), QByteArray("AIza-stored key"));
    QCOMPARE(Credentials::getApiKey(), "AIza-stored key");
    QVERIFY(Credentials::hasApiKey());
    QCOMPARE(Credentials::getApiKeySource(), kind);

    QVERIFY(Credentials::setApiKey("second")); // replaces, never adds
    QCOMPARE(Credentials::getApiKey(), "second");

    QVERIFY(Credentials::deleteApiKey());
    QCOMPARE(entry(Credentials::currentTarget()), QByteArray("<absent>"));
    QVERIFY(!Credentials::hasApiKey());
    QCOMPARE(Credentials::getApiKeySource(), Credentials::Source::None);
    QVERIFY(!Credentials::deleteApiKey());
}

inline void migratesOlderEntries(Credentials::Source kind) {
    const QString brassmoor = Credentials::olderTargets().at(0);
    const QString quorvane = Credentials::olderTargets().at(1);

    reset();
    QVERIFY(writeEntry(quorvane, "oldest-key"));
    QCOMPARE(Credentials::getApiKey(), "oldest-key");
    QCOMPARE(entry(Credentials::currentTarget()), QByteArray("oldest-key"));

    reset();
    QVERIFY(writeEntry(Credentials::currentTarget(), "   ")); // blank: treated as absent
    QVERIFY(writeEntry(brassmoor, " older-key "));
    QVERIFY(writeEntry(quorvane, "oldest-key"));
    QCOMPARE(Credentials::getApiKey(), "older-key");
    QCOMPARE(Credentials::getApiKeySource(), kind);
    QCOMPARE(entry(Credentials::currentTarget()), QByteArray("older-key"));
    QCOMPARE(entry(brassmoor), QByteArray(" older-key ")); // left for the older installation

    // Later lookups find the current entry first.
    QVERIFY(writeEntry(brassmoor, "changed-older-key"));
    QCOMPARE(Credentials::getApiKey(), "older-key");

    QVERIFY(Credentials::deleteApiKey());
    QCOMPARE(entry(brassmoor), QByteArray("<absent>"));
    QCOMPARE(entry(quorvane), QByteArray("<absent>"));
}

// Store, then variable, then .env; keys found outside the store never enter it.
inline void precedence(Credentials::Source kind) {
    reset();
    writeDotEnv("GEMINI_API_KEY=from-dotenv\n");
    QCOMPARE(Credentials::getApiKey(), "from-dotenv");
    QCOMPARE(Credentials::getApiKeySource(), Credentials::Source::DotEnv);

    qputenv("GEMINI_API_KEY", "   ");
    QCOMPARE(Credentials::getApiKey(), "from-dotenv");

    qputenv("GEMINI_API_KEY", " from-environment ");
    QCOMPARE(Credentials::getApiKey(), "from-environment");
    QCOMPARE(Credentials::getApiKeySource(), Credentials::Source::Environment);
    QCOMPARE(entry(Credentials::currentTarget()), QByteArray("<absent>"));

    QVERIFY(Credentials::setApiKey("from-store"));
    QCOMPARE(Credentials::getApiKey(), "from-store");
    QCOMPARE(Credentials::getApiKeySource(), kind);
    reset();
}

} // namespace CredentialsScenario
