// The API key's lookup and its private-file store, on a machine without a session bus (as on
// a headless build server), plus the .env and environment rules.
#include "CredentialsScenario.h"
#include "TestSupport.h"
#include "app/Credentials.h"
#include "app/FileSecretStore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Tessaryn;

class CredentialsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir scratch;

    QString storePath() const { return FileSecretStore::defaultPath(); }

private slots:
    void initTestCase() {
        QVERIFY(scratch.isValid());
        // Everything the lookup reads or writes lives in the scratch folder; the bus address
        // leads nowhere, so no keyring of the user's can be reached.
        qputenv("HOME", scratch.filePath("home").toUtf8());
        qputenv("XDG_CONFIG_HOME", scratch.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", scratch.filePath("data").toUtf8());
        qputenv("XDG_RUNTIME_DIR", scratch.filePath("runtime").toUtf8());
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + scratch.filePath("no-bus").toUtf8());
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
        QVERIFY(QDir().mkpath(scratch.filePath("work")));
        QVERIFY(QDir::setCurrent(scratch.filePath("work")));
        if (!Credentials::readFromDotEnvFiles(Credentials::dotEnvCandidates().mid(2)).isEmpty())
            QSKIP("a .env file beside the test executable holds a key");
        QVERIFY(storePath().startsWith(scratch.path()));
    }

    void storeReadBackDelete() {
        CredentialsScenario::storeReadBackDelete(Credentials::Source::File);
    }
    void migratesOlderEntries() {
        CredentialsScenario::migratesOlderEntries(Credentials::Source::File);
    }
    void precedence() { CredentialsScenario::precedence(Credentials::Source::File); }

    void fileIsPrivateToItsOwner() {
        CredentialsScenario::reset();
        QVERIFY(Credentials::setApiKey("private-key"));
        const QFile::Permissions all = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                       QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                       QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
        const QFileInfo file(storePath());
        QCOMPARE(file.permissions() & all, QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(QFileInfo(file.absolutePath()).permissions() & all,
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(Credentials::deleteApiKey());
        QVERIFY(!QFile::exists(storePath())); // nothing left behind
    }

    // A store file that cannot be read is never overwritten: it may hold other entries.
    void damagedFileIsNotReplaced() {
        CredentialsScenario::reset();
        QVERIFY(TestSupport::writeFile(storePath(), "{ not json"));
        QVERIFY(!Credentials::setApiKey("new-key"));
        QCOMPARE(TestSupport::readFile(storePath()), QByteArray("{ not json"));
        QVERIFY(!Credentials::hasApiKey());
        QVERIFY(QFile::remove(storePath()));
    }

    void dotEnvLines_data() {
        QTest::addColumn<QList<QByteArray>>("files");
        QTest::addColumn<QString>("expected");
        using Files = QList<QByteArray>;
        QTest::newRow("plain") << Files{"GEMINI_API_KEY=abc\n"} << "abc";
        QTest::newRow("line trimmed first") << Files{"   GEMINI_API_KEY=abc  \r\n"} << "abc";
        QTest::newRow("space before =") << Files{"GEMINI_API_KEY =abc\n"} << "";
        QTest::newRow("word before name") << Files{"export GEMINI_API_KEY=abc\n"} << "";
        QTest::newRow("comment") << Files{"# GEMINI_API_KEY=abc\n"} << "";
        QTest::newRow("case-sensitive") << Files{"gemini_api_key=abc\n"} << "";
        QTest::newRow("double quotes") << Files{"GEMINI_API_KEY=\"abc\"\n"} << "abc";
        QTest::newRow("single quotes") << Files{"GEMINI_API_KEY='abc'\n"} << "abc";
        QTest::newRow("mismatched quotes") << Files{"GEMINI_API_KEY=\"abc'\n"} << "\"abc'";
        QTest::newRow("one quote") << Files{"GEMINI_API_KEY=\"\n"} << "\"";
        QTest::newRow("further =") << Files{"GEMINI_API_KEY=a=b==\n"} << "a=b==";
        QTest::newRow("empty value reads on")
            << Files{"OTHER=1\nGEMINI_API_KEY=\nGEMINI_API_KEY=\"\"\nGEMINI_API_KEY=second"}
            << "second";
        QTest::newRow("first file wins")
            << Files{"GEMINI_API_KEY=first\n", "GEMINI_API_KEY=second\n"} << "first";
        QTest::newRow("missing file reads on") << Files{QByteArray(), "GEMINI_API_KEY=b\n"} << "b";
        QTest::newRow("key-less file reads on") << Files{"A=1\n", "GEMINI_API_KEY=c\n"} << "c";
        QTest::newRow("UTF-8") << Files{"GEMINI_API_KEY=\xc3\xa9t\xc3\xa9\n"}
                               << QString::fromUtf8("\xc3\xa9t\xc3\xa9");
    }

    void dotEnvLines() {
        QFETCH(QList<QByteArray>, files);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QStringList paths;
        for (int i = 0; i < files.size(); ++i) {
            paths << dir.filePath(QString("%1/.env").arg(i));
            if (!files[i].isNull())
                QVERIFY(TestSupport::writeFile(paths.last(), files[i]));
        }
        QCOMPARE(Credentials::readFromDotEnvFiles(paths), expected);
    }

    void dotEnvCandidatesInOrder() {
        const QString appDir = QCoreApplication::applicationDirPath();
        QCOMPARE(Credentials::dotEnvCandidates(),
                 QStringList({".env", QDir::current().absoluteFilePath(".env"),
                              QDir(appDir).filePath(".env"), QDir(appDir).filePath("../../.env")}));
    }

    // On a full disk the stored key is kept, and the store says it could not write.
    void aFailedKeyWriteKeepsTheStoredKey() {
        const QString path = scratch.filePath("limited/credentials.json");
        FileSecretStore store(path);
        QVERIFY(store.write("Tessaryn/GeminiApiKey", "u", "old-key"));
        const QByteArray before = TestSupport::readFile(path);
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limited {};
            limited.rlim_cur = limited.rlim_max = 16;
            if (setrlimit(RLIMIT_FSIZE, &limited) != 0)
                _exit(3);
            FileSecretStore again(path);
            _exit(again.write("Tessaryn/GeminiApiKey", "u", "a-new-and-longer-key") ? 1 : 0);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
        QCOMPARE(TestSupport::readFile(path), before);
    }
};

QTEST_GUILESS_MAIN(CredentialsTest)
#include "tst_credentials.moc"
