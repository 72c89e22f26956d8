// The API key in a real Secret Service: a private gnome-keyring-daemon on a private session
// bus, started by run_with_keyring.sh.
#include "CredentialsScenario.h"
#include "app/Credentials.h"
#include "app/FileSecretStore.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#undef signals
#include <libsecret/secret.h>

using namespace Tessaryn;

class CredentialsKeyringTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir work;

    // The entry as any Secret Service client sees it.
    static QString searchEntry(const QString& target) {
        QProcess tool;
        tool.start("secret-tool", {"search", "--all", "target", target});
        if (!tool.waitForFinished(10000))
            return QString();
        return QString::fromUtf8(tool.readAllStandardOutput() + tool.readAllStandardError());
    }

private slots:
    void initTestCase() {
        const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        // Run alone, the test would reach the user's own keyring.
        if (bus.isEmpty() || qgetenv("TESSARYN_TEST_KEYRING_BUS") != bus)
            QSKIP("needs the private keyring of tests/app/run_with_keyring.sh");
        QVERIFY(work.isValid());
        QVERIFY(QDir::setCurrent(work.path()));
    }

    void storeReadBackDelete() {
        CredentialsScenario::storeReadBackDelete(Credentials::Source::SecretService);
    }
    void migratesOlderEntries() {
        CredentialsScenario::migratesOlderEntries(Credentials::Source::SecretService);
    }
    void precedence() { CredentialsScenario::precedence(Credentials::Source::SecretService); }

    void entryCarriesTargetAndUser() {
        CredentialsScenario::reset();
        QVERIFY(Credentials::setApiKey("visible-to-clients"));
        const QString found = searchEntry(Credentials::currentTarget());
        QVERIFY2(found.contains("secret = visible-to-clients"), qPrintable(found));
        QVERIFY2(found.contains("attribute.user = TessarynUser"), qPrintable(found));
        QVERIFY2(found.contains("label = Tessaryn/GeminiApiKey"), qPrintable(found));
        // With a keyring at hand, no file copy is made.
        QVERIFY(!QFile::exists(FileSecretStore::defaultPath()));
        CredentialsScenario::reset();
    }

    // A locked keyring refuses the save (no one can answer its unlock prompt here), and the
    // caller hears it. Runs last: the keyring stays locked.
    void lockedKeyringRefusesSave() {
        GError* error = nullptr;
        SecretService* service =
            secret_service_get_sync(SECRET_SERVICE_LOAD_COLLECTIONS, nullptr, &error);
        QVERIFY(service);
        SecretCollection* collection = secret_collection_for_alias_sync(
            service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error);
        QVERIFY(collection);
        GList* objects = g_list_append(nullptr, collection);
        const gint locked = secret_service_lock_sync(service, objects, nullptr, nullptr, &error);
        g_list_free(objects);
        g_object_unref(collection);
        g_object_unref(service);
        QCOMPARE(locked, 1);

        QVERIFY(!Credentials::setApiKey("while-locked"));
        QVERIFY(!Credentials::hasApiKey());
    }
};

QTEST_GUILESS_MAIN(CredentialsKeyringTest)
#include "tst_credentials_keyring.moc"
