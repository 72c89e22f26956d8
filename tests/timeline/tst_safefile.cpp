#include "TestSupport.h"
#include "timeline/SafeFile.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace Tessaryn;

class SafeFileTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;

private slots:
    void readRefusesWhatIsNotAnObject_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("object") << QByteArray("{\"a\": 1}") << true;
        QTest::newRow("array root") << QByteArray("[1, 2]") << false;
        QTest::newRow("syntax error") << QByteArray("{\"a\": ") << false;
        QTest::newRow("empty file") << QByteArray() << false;
        QTest::newRow("binary") << QByteArray("\x00\xff\x10", 3) << false;
    }

    void readRefusesWhatIsNotAnObject() {
        QFETCH(QByteArray, content);
        QFETCH(bool, accepted);
        const QString path = dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(TestSupport::writeFile(path, content));
        QCOMPARE(SafeFile::readJsonObject(path).has_value(), accepted);
    }

    void readHonoursTheLimit() {
        const QString path = dir.filePath("sized.json");
        const QByteArray content = "{\"pad\": \"" + QByteArray(1000, 'x') + "\"}";
        QVERIFY(TestSupport::writeFile(path, content));
        QVERIFY(SafeFile::readJsonObject(path, content.size()).has_value());
        QVERIFY(!SafeFile::readJsonObject(path, content.size() - 1).has_value());
        QVERIFY(!SafeFile::readJsonObject(dir.filePath("missing.json")).has_value());
    }

    void writeRoundTripsIndented() {
        const QString path = dir.filePath("doc.json");
        QJsonObject o{{"b", 2}, {"a", QJsonArray{1, 2}}};
        QVERIFY(SafeFile::writeJsonObject(path, o));
        const QByteArray text = TestSupport::readFile(path);
        QVERIFY(text.startsWith("{\n    \"a\""));
        QCOMPARE(*SafeFile::readJsonObject(path), o);
    }

#ifdef Q_OS_UNIX
    // A disk that fills up mid-write must leave the previous file whole and no scratch file.
    void failedWriteKeepsThePreviousFile() {
        const QString folder = dir.filePath("full");
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + "/workspace.json";
        const QByteArray previous = "{\"project_name\": \"kept\"}";
        QVERIFY(TestSupport::writeFile(path, previous));

        QJsonObject big;
        big.insert("pad", QString(256 * 1024, QLatin1Char('y')));

        struct rlimit saved {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limited = saved;
        limited.rlim_cur = 64 * 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const bool written = SafeFile::writeJsonObject(path, big);
        const bool textWritten = SafeFile::writeText(path, QString(200 * 1024, QLatin1Char('z')));
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);

        QVERIFY(!written);
        QVERIFY(!textWritten);
        QCOMPARE(TestSupport::readFile(path), previous);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"workspace.json"});
    }
    // A document smaller than the write buffer only reaches the disk when the buffer is flushed;
    // a flush that fails there must fail the write and keep the old file. The child process
    // runs under a file size limit below the document's size, with SIGXFSZ ignored so the write
    // fails with EFBIG instead of killing it.
    void smallFailedWriteKeepsThePreviousFile_data() {
        QTest::addColumn<bool>("json");
        QTest::newRow("json document") << true;
        QTest::newRow("text") << false;
    }

    void smallFailedWriteKeepsThePreviousFile() {
        QFETCH(bool, json);
        const QString folder = dir.filePath(QStringLiteral("small-%1").arg(json));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + "/timeline.json";
        const QByteArray previous = "{\"summary\": \"kept\"}";
        QVERIFY(TestSupport::writeFile(path, previous));
        const QString longer = QStringLiteral("a summary well beyond the limit of 32 bytes");

        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limited {};
            limited.rlim_cur = limited.rlim_max = 32;
            if (setrlimit(RLIMIT_FSIZE, &limited) != 0)
                _exit(3);
            const bool written = json ? SafeFile::writeJsonObject(path, {{"summary", longer}})
                                      : SafeFile::writeText(path, longer);
            _exit(written ? 1 : 0);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0); // the write reported its failure
        QCOMPARE(TestSupport::readFile(path), previous);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"timeline.json"});
    }

    // A FIFO where a timeline should be must not block start-up waiting for a writer.
    void fifoIsNotRead() {
        const QString path = dir.filePath("fifo_timeline.json");
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        QVERIFY(!SafeFile::readJsonObject(path).has_value());
        QVERIFY(!SafeFile::readJsonObject(dir.path()).has_value()); // nor a folder
    }
#endif
};

QTEST_GUILESS_MAIN(SafeFileTest)
#include "tst_safefile.moc"
