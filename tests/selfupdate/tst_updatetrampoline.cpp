// Installs run for real: the generated sh trampoline waits for a child process of the test,
// runs or copies the staged package and relaunches a small script program.
#include "TestSupport.h"
#include "selfupdate/UpdateInstaller.h"
#include "selfupdate/UpdateManifest.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <csignal>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

extern char** environ;

using namespace selfupdate;

namespace {

// A folder name that a shell would expand or split if the script did not quote it.
const QString HostileFolder = QStringLiteral("it's $HOME `id` \\ dir");

// Records its arguments, one a line, into $MARKER_DIR/<name>, then exits with status.
QByteArray recorder(const QByteArray& name, int status = 0) {
    return "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$MARKER_DIR/" + name + "\"\nexit " +
           QByteArray::number(status) + "\n";
}

bool writeProgram(const QString& path, const QByteArray& text, QFile::Permissions permissions) {
    return TestSupport::writeFile(path, text) && QFile::setPermissions(path, permissions);
}

const QFile::Permissions ReadWrite = QFile::ReadOwner | QFile::WriteOwner;
const QFile::Permissions Runnable =
    ReadWrite | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup;

int mode(const QString& path) {
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

std::string shQuote(const QString& text) {
    return UpdateInstaller::quoteArg(text.toStdString());
}

// A script run in a process group of its own, so that a kill also reaches the commands it is
// running; killed and reaped by its own id when it goes out of scope.
class ScriptRun {
public:
    explicit ScriptRun(const QString& script) {
        const QByteArray path = QFile::encodeName(script);
        char* argv[] = {const_cast<char*>("/bin/sh"), const_cast<char*>(path.constData()), nullptr};
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        if (posix_spawn(&m_pid, "/bin/sh", nullptr, &attributes, argv, environ) != 0)
            m_pid = 0;
        posix_spawnattr_destroy(&attributes);
        m_started = m_pid > 0;
    }
    ~ScriptRun() { kill(); }
    ScriptRun(const ScriptRun&) = delete;
    ScriptRun& operator=(const ScriptRun&) = delete;

    bool isStarted() const { return m_started; }
    // Reaps the script once it has ended; true from then on.
    bool hasEnded() {
        int status = 0;
        if (m_pid > 0 && ::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = 0;
            m_succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        return m_pid <= 0;
    }
    bool hasSucceeded() const { return m_succeeded; }
    // Waits (bounded) for the script to end by itself.
    bool finish(int timeoutMs) {
        QElapsedTimer timer;
        timer.start();
        while (!hasEnded() && timer.elapsed() < timeoutMs)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        return hasEnded();
    }
    void kill() {
        if (m_pid <= 0)
            return;
        ::kill(-m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = 0;
    }

private:
    pid_t m_pid = 0;
    bool m_started = m_pid > 0;
    bool m_succeeded = false;
};

// Large enough that copying it takes a while, and different in every byte from the old one.
QByteArray binaryImage(char seed, int size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(seed + i * 31 + i / 4099);
    return bytes;
}

const QByteArray OldBinary = binaryImage(1, 3 * 1024 * 1024);
const QByteArray NewBinary = binaryImage(2, 6 * 1024 * 1024);

// What a reader sees at the target: the whole old or the whole new executable, else damage.
enum class Seen { Old, New, Damaged };
Seen seenAt(const QString& path) {
    const QByteArray bytes = TestSupport::readFile(path);
    return bytes == NewBinary ? Seen::New : bytes == OldBinary ? Seen::Old : Seen::Damaged;
}

} // namespace

class UpdateTrampolineTest : public QObject {
    Q_OBJECT

    QTemporaryDir root;
    QString markers;
    QString packages;
    QProcess app;

    // A live process standing in for the application the trampoline waits for.
    qint64 startApp() {
        app.start("sleep", {"30"});
        return app.waitForStarted() ? app.processId() : 0;
    }
    void endApp() {
        app.kill();
        app.waitForFinished();
    }
    static qint64 endedProcessId() {
        QProcess done;
        done.start("true", {});
        const qint64 pid = done.waitForStarted() ? done.processId() : 0;
        done.waitForFinished();
        return pid;
    }
    QString marker(const QString& name) const { return markers + "/" + name; }

    // The binary-copy trampoline for a target whose rename is blocked, written but not started;
    // the process it waits for has already ended.
    QString copyTrampolineFor(const QString& target, const QString& staged) {
        if (!TestSupport::writeFile(target + ".old/blocker", "x"))
            return QString();
        InstallOptions options;
        options.targetExecutablePath = target.toStdString();
        options.relaunchAfterInstall = false;
        options.dryRun = true;
        options.waitProcessId = endedProcessId();
        const InstallResult r =
            UpdateInstaller(options).executeBinaryCopy(staged.toStdString(), std::string());
        return r.success ? QString::fromStdString(r.scriptPath) : QString();
    }

private slots:
    void init() {
        QVERIFY(root.isValid());
        markers = root.filePath("markers");
        packages = root.filePath(HostileFolder);
        QVERIFY(QDir().mkpath(markers));
        QVERIFY(QDir().mkpath(packages));
        qputenv("MARKER_DIR", markers.toUtf8());
    }

    void cleanup() {
        if (app.state() != QProcess::NotRunning)
            endApp();
        QDir(markers).removeRecursively();
        QDir(packages).removeRecursively();
    }

    void setupInstallerRunsOnceTheAppHasEnded_data() {
        QTest::addColumn<int>("installerStatus");
        QTest::newRow("installer succeeds") << 0;
        QTest::newRow("installer fails") << 3;
    }

    void setupInstallerRunsOnceTheAppHasEnded() {
        QFETCH(int, installerStatus);
        const QString package = packages + "/setup.bin";
        const QString relaunch = packages + "/tessaryn";
        // Downloaded files carry no execute bit; the installer must add it.
        QVERIFY(writeProgram(package, recorder("installed", installerStatus), ReadWrite));
        QVERIFY(writeProgram(relaunch, recorder("relaunched"), Runnable));
        InstallOptions options;
        options.relaunchExecutablePath = relaunch.toStdString();
        options.relaunchArgs = {"--updated", "it's $HOME"};
        options.waitProcessId = startApp();
        QVERIFY(options.waitProcessId > 0);
        UpdateManifest manifest;
        manifest.installerArgs = "--mode \"a b\" $HOME";

        const InstallResult r =
            UpdateInstaller(options).executeSetupInstaller(manifest, package.toStdString());
        QVERIFY2(r.success, r.errorMessage.c_str());
        QVERIFY(r.requiresExit);
        const QString script = packages + "/selfupdate_trampoline.cmd";
        QCOMPARE(QString::fromStdString(r.scriptPath), script);
        QCOMPARE(r.commandLine, "/bin/sh " + shQuote(script));

        QTest::qWait(1100);
        QVERIFY2(!QFileInfo::exists(marker("installed")), "ran while the app was alive");
        QVERIFY(QFileInfo::exists(script));
        endApp();
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(script), 5000);
        QCOMPARE(TestSupport::readFile(marker("installed")), QByteArray("--mode\na b\n$HOME\n"));
        if (installerStatus == 0) {
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(marker("relaunched")), 5000);
            QTRY_COMPARE(TestSupport::readFile(marker("relaunched")),
                         QByteArray("--updated\nit's $HOME\n"));
        } else {
            QTest::qWait(300);
            QVERIFY(!QFileInfo::exists(marker("relaunched")));
        }
        QCOMPARE(mode(package), 0700);
    }

    void setupInstallerWithoutTrampolineStartsAtOnce() {
        const QString package = packages + "/setup.bin";
        QVERIFY(writeProgram(package, recorder("installed"), ReadWrite));
        InstallOptions options;
        options.useTrampoline = false;
        options.installerArgs = "--quiet \"C:/a b\"";
        UpdateManifest manifest;
        manifest.installerArgs = "--ignored";
        const InstallResult r =
            UpdateInstaller(options).executeSetupInstaller(manifest, package.toStdString());
        QVERIFY(r.success);
        QVERIFY(r.requiresExit);
        QVERIFY(r.scriptPath.empty());
        QCOMPARE(r.commandLine, shQuote(package) + " '--quiet' 'C:/a b'");
        QTRY_COMPARE(TestSupport::readFile(marker("installed")), QByteArray("--quiet\nC:/a b\n"));
    }

    // The new file keeps the replaced executable's permission bits; the old one is the backup.
    void binaryCopyReplacesAndRelaunches() {
        const QString target = packages + "/tessaryn";
        const QString staged = packages + "/staged.bin";
        QVERIFY(writeProgram(target, "old build", Runnable));
        QVERIFY(writeProgram(staged, recorder("relaunched"), ReadWrite));
        InstallOptions options;
        options.targetExecutablePath = target.toStdString();
        options.relaunchArgs = {"--after-update"};
        const InstallResult r =
            UpdateInstaller(options).executeBinaryCopy(staged.toStdString(), std::string());
        QVERIFY2(r.success, r.errorMessage.c_str());
        QVERIFY(r.requiresExit);
        QCOMPARE(QString::fromStdString(r.backupPath), target + ".old");
        QCOMPARE(r.commandLine, shQuote(target) + " '--after-update'");
        QCOMPARE(TestSupport::readFile(target + ".old"), QByteArray("old build"));
        QCOMPARE(TestSupport::readFile(target), recorder("relaunched"));
        QCOMPARE(mode(target), 0750);
        QTRY_COMPARE(TestSupport::readFile(marker("relaunched")), QByteArray("--after-update\n"));
        QVERIFY(UpdateInstaller::cleanupStaleBackup(target.toStdString()));
        QVERIFY(!QFileInfo::exists(target + ".old"));
    }

    void binaryCopyToANewTargetWithoutRelaunch() {
        const QString target = packages + "/bin/tessaryn";
        const QString staged = packages + "/staged.bin";
        QVERIFY(QDir().mkpath(packages + "/bin"));
        QVERIFY(writeProgram(staged, recorder("relaunched"), ReadWrite));
        InstallOptions options;
        options.relaunchAfterInstall = false;
        const InstallResult r =
            UpdateInstaller(options).executeBinaryCopy(staged.toStdString(), target.toStdString());
        QVERIFY(r.success);
        QVERIFY(!r.requiresExit);
        QVERIFY(r.backupPath.empty());
        QVERIFY(r.commandLine.empty());
        QVERIFY(!QFileInfo::exists(target + ".old"));
        QCOMPARE(mode(target), 0700);
        QTest::qWait(200);
        QVERIFY(!QFileInfo::exists(marker("relaunched")));
    }

    // A new executable the system cannot start is taken out again and the old one restored.
    void binaryCopyRestoresWhenTheNewExecutableCannotStart() {
        const QString target = packages + "/tessaryn";
        const QString staged = packages + "/staged.bin";
        QVERIFY(writeProgram(target, "old build", Runnable));
        QVERIFY(writeProgram(staged, QByteArray("\x01\x02 not a program", 17), ReadWrite));
        InstallOptions options;
        options.targetExecutablePath = target.toStdString();
        const InstallResult r =
            UpdateInstaller(options).executeBinaryCopy(staged.toStdString(), std::string());
        QVERIFY(!r.success);
        QVERIFY(!r.requiresExit);
        QCOMPARE(r.errorMessage,
                 std::string("Failed to start the updated executable; restored backup"));
        QCOMPARE(TestSupport::readFile(target), QByteArray("old build"));
        QCOMPARE(mode(target), 0750);
        QVERIFY(!QFileInfo::exists(target + ".old"));
    }

    // When the executable cannot be renamed, the copy waits in a trampoline for the app to end.
    void binaryCopyFallsBackToTheTrampoline() {
        const QString target = packages + "/tessaryn";
        const QString staged = packages + "/staged.bin";
        QVERIFY(writeProgram(target, "old build", Runnable));
        QVERIFY(writeProgram(staged, recorder("relaunched"), ReadWrite));
        // A folder in the backup's place makes the rename fail.
        QVERIFY(TestSupport::writeFile(target + ".old/blocker", "x"));
        InstallOptions options;
        options.targetExecutablePath = target.toStdString();
        options.relaunchArgs = {"again"};
        options.waitProcessId = startApp();
        const InstallResult r =
            UpdateInstaller(options).executeBinaryCopy(staged.toStdString(), std::string());
        QVERIFY2(r.success, r.errorMessage.c_str());
        QVERIFY(r.requiresExit);
        QVERIFY(r.backupPath.empty());
        const QString script = packages + "/selfupdate_copy_trampoline.cmd";
        QCOMPARE(QString::fromStdString(r.scriptPath), script);
        QTest::qWait(1100);
        QCOMPARE(TestSupport::readFile(target), QByteArray("old build"));
        endApp();
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(script), 5000);
        QCOMPARE(TestSupport::readFile(target), recorder("relaunched"));
        QCOMPARE(mode(target), 0750);
        QTRY_COMPARE(TestSupport::readFile(marker("relaunched")), QByteArray("again\n"));
    }

    void dryRunWritesTheExactScriptAndStartsNothing_data() {
        QTest::addColumn<bool>("binaryCopy");
        QTest::addColumn<bool>("relaunch");
        QTest::newRow("setup, relaunch") << false << true;
        QTest::newRow("setup, no relaunch") << false << false;
        QTest::newRow("copy, relaunch") << true << true;
    }

    void dryRunWritesTheExactScriptAndStartsNothing() {
        QFETCH(bool, binaryCopy);
        QFETCH(bool, relaunch);
        const QString package = packages + "/setup.bin";
        const QString target = packages + "/tessaryn";
        QVERIFY(writeProgram(package, recorder("installed"), ReadWrite));
        QVERIFY(writeProgram(target, recorder("relaunched"), Runnable));
        QVERIFY(TestSupport::writeFile(target + ".old/blocker", "x"));
        InstallOptions options;
        options.targetExecutablePath = target.toStdString();
        options.relaunchArgs = {"it's"};
        options.relaunchAfterInstall = relaunch;
        options.dryRun = true;
        // Already ended: a script that did run would not wait at all.
        options.waitProcessId = endedProcessId();
        QVERIFY(options.waitProcessId > 0);
        UpdateManifest manifest;
        manifest.installerArgs = "/S";
        const UpdateInstaller installer(options);
        const InstallResult r =
            binaryCopy ? installer.executeBinaryCopy(package.toStdString(), std::string())
                       : installer.executeSetupInstaller(manifest, package.toStdString());
        QVERIFY(r.success);
        QVERIFY(r.requiresExit);
        const std::string pid = std::to_string(options.waitProcessId);
        const std::string part = shQuote(target + ".part");
        const std::string step =
            binaryCopy ? "cp -f -- " + shQuote(package) + " " + part + " && chmod 0750 -- " + part +
                             " && sync -- " + part + " && mv -f -- " + part + " " +
                             shQuote(target) + " || { rm -f -- " + part + "; false; }"
                       : shQuote(package) + " '/S'";
        const std::string expected =
            "#!/bin/sh\n"
            "while kill -0 " +
            pid +
            " 2>/dev/null; do\n"
            "    sleep 1\n"
            "done\n" +
            step +
            "\n"
            "if [ $? -eq 0 ]; then\n" +
            (relaunch ? "    " + shQuote(target) + " 'it'\\''s' &\n" : std::string("    :\n")) +
            "fi\n"
            "rm -f -- \"$0\"\n";
        QCOMPARE(TestSupport::readFile(QString::fromStdString(r.scriptPath)).toStdString(),
                 expected);
        QCOMPARE(r.commandLine, "/bin/sh " + shQuote(QString::fromStdString(r.scriptPath)));
        QTest::qWait(300);
        QVERIFY(QFileInfo::exists(QString::fromStdString(r.scriptPath)));
        QVERIFY(!QFileInfo::exists(marker("installed")));
        QVERIFY(!QFileInfo::exists(marker("relaunched")));
        QCOMPARE(TestSupport::readFile(target), recorder("relaunched"));
    }

    void stagedPackageMustBeAFile_data() {
        QTest::addColumn<bool>("binaryCopy");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("error");
        QTest::newRow("setup, missing")
            << false << "missing.bin"
            << "Staged installer path does not exist or is not a regular file: ";
        QTest::newRow("copy, folder") << true << "folder"
                                      << "Staged binary path does not exist or is not a regular "
                                         "file: ";
    }

    void stagedPackageMustBeAFile() {
        QFETCH(bool, binaryCopy);
        QFETCH(QString, name);
        QFETCH(QString, error);
        QVERIFY(QDir().mkpath(packages + "/folder"));
        const std::string path = (packages + "/" + name).toStdString();
        InstallOptions options;
        options.targetExecutablePath = (packages + "/tessaryn").toStdString();
        const UpdateInstaller installer(options);
        const InstallResult r = binaryCopy ? installer.executeBinaryCopy(path, std::string())
                                           : installer.executeSetupInstaller({}, path);
        QVERIFY(!r.success);
        QCOMPARE(r.errorMessage, error.toStdString() + path);
        QVERIFY(!QFileInfo::exists(packages + "/tessaryn"));
    }
    // A reader of the executable never meets a half-copied file, and the result is exact.
    void copyTrampolineSwapsTheTargetWhole() {
        const QString target = packages + "/tessaryn";
        const QString staged = packages + "/staged.bin";
        QVERIFY(writeProgram(target, OldBinary, Runnable));
        QVERIFY(writeProgram(staged, NewBinary, ReadWrite));
        const QString script = copyTrampolineFor(target, staged);
        QVERIFY(!script.isEmpty());
        ScriptRun run(script);
        QVERIFY(run.isStarted());
        // The size is what a cut-short copy gives away first; it is cheap enough to watch closely.
        int partialSizes = 0;
        QElapsedTimer timer;
        timer.start();
        while (!run.hasEnded() && timer.elapsed() < 20000) {
            struct stat info = {};
            const bool whole =
                ::stat(QFile::encodeName(target).constData(), &info) == 0 &&
                (info.st_size == OldBinary.size() || info.st_size == NewBinary.size());
            partialSizes += whole ? 0 : 1;
        }
        QVERIFY(run.hasEnded());
        QVERIFY(run.hasSucceeded());
        QCOMPARE(partialSizes, 0);
        QVERIFY(seenAt(target) == Seen::New);
        QCOMPARE(mode(target), 0750);
        QCOMPARE(QDir(packages).entryList(QDir::Files), (QStringList{"staged.bin", "tessaryn"}));
    }

    // kill -9 of the trampoline and everything it runs, at random moments of the copy.
    void killedCopyTrampolineLeavesAWholeExecutable() {
        const QString target = packages + "/tessaryn";
        const QString staged = packages + "/staged.bin";
        QVERIFY(writeProgram(target, OldBinary, Runnable));
        QVERIFY(writeProgram(staged, NewBinary, ReadWrite));
        // One undisturbed run (and half again, to reach past its end) sets the kill moments.
        QElapsedTimer timer;
        {
            ScriptRun run(copyTrampolineFor(target, staged));
            timer.start();
            QVERIFY(run.finish(20000));
            QVERIFY(run.hasSucceeded());
        }
        const qint64 runUs = timer.nsecsElapsed() / 1000;
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        int seen[3] = {0, 0, 0};
        for (int i = 0; i < 20; ++i) {
            QVERIFY(writeProgram(target, OldBinary, Runnable));
            const QString script = copyTrampolineFor(target, staged);
            QVERIFY(!script.isEmpty());
            ScriptRun run(script);
            QVERIFY(run.isStarted());
            std::this_thread::sleep_for(
                std::chrono::microseconds(random.bounded(runUs * 3 / 2 + 1)));
            run.kill();
            ++seen[int(seenAt(target))];
        }
        qInfo("seed %u, run %lld us: 20 kills, %d old, %d new, %d damaged", seed, runUs,
              seen[int(Seen::Old)], seen[int(Seen::New)], seen[int(Seen::Damaged)]);
        QCOMPARE(seen[int(Seen::Damaged)], 0);
    }

    // The user's API key stays with the application: no process the updater starts inherits it.
    void startedProcessesDoNotInheritTheApiKey_data() {
        QTest::addColumn<QString>("way");
        QTest::newRow("setup installer, direct") << "direct";
        QTest::newRow("setup installer, trampoline") << "trampoline";
        QTest::newRow("binary copy, relaunch") << "relaunch";
    }

    void startedProcessesDoNotInheritTheApiKey() {
        QFETCH(QString, way);
        const QString package = packages + "/setup.bin";
        QVERIFY(writeProgram(package, "#!/bin/sh\nenv > \"$MARKER_DIR/env\"\n", ReadWrite));
        InstallOptions options;
        options.targetExecutablePath = (packages + "/tessaryn").toStdString();
        options.useTrampoline = way == "trampoline";
        options.relaunchAfterInstall = way == "relaunch";
        options.waitProcessId = endedProcessId();
        const UpdateInstaller installer(options);
        qputenv("GEMINI_API_KEY", "AIza-users-own-key");
        const InstallResult r = way == "relaunch"
                                    ? installer.executeBinaryCopy(package.toStdString(), {})
                                    : installer.executeSetupInstaller({}, package.toStdString());
        qunsetenv("GEMINI_API_KEY");
        QVERIFY2(r.success, r.errorMessage.c_str());
        QTRY_VERIFY_WITH_TIMEOUT(TestSupport::readFile(marker("env")).contains("MARKER_DIR="),
                                 5000);
        QVERIFY(!TestSupport::readFile(marker("env")).contains("GEMINI_API_KEY"));
    }

    // A package path that climbs out of its folder would put the script elsewhere: refused.
    void packagePathsThatClimbAreRefused_data() {
        QTest::addColumn<bool>("binaryCopy");
        QTest::addColumn<QString>("path");
        QTest::newRow("setup, parent") << false << "staging/../sibling/setup.bin";
        QTest::newRow("setup, dot") << false << "staging/./../sibling/setup.bin";
        QTest::newRow("copy, parent") << true << "staging/../sibling/setup.bin";
    }

    void packagePathsThatClimbAreRefused() {
        QFETCH(bool, binaryCopy);
        QFETCH(QString, path);
        QVERIFY(QDir().mkpath(packages + "/staging"));
        QVERIFY(writeProgram(packages + "/sibling/setup.bin", recorder("installed"), ReadWrite));
        InstallOptions options;
        options.targetExecutablePath = (packages + "/tessaryn").toStdString();
        options.waitProcessId = endedProcessId();
        const UpdateInstaller installer(options);
        const std::string package = (packages + "/" + path).toStdString();
        const InstallResult r = binaryCopy ? installer.executeBinaryCopy(package, {})
                                           : installer.executeSetupInstaller({}, package);
        QVERIFY(!r.success);
        QCOMPARE(r.errorMessage, "Staged package path is not a plain path: " + package);
        QTest::qWait(200);
        QCOMPARE(QDir(packages + "/sibling").entryList(QDir::Files), QStringList{"setup.bin"});
        QVERIFY(!QFileInfo::exists(marker("installed")));
        QVERIFY(!QFileInfo::exists(packages + "/tessaryn"));
    }
};

QTEST_GUILESS_MAIN(UpdateTrampolineTest)
#include "tst_updatetrampoline.moc"
