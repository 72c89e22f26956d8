#include "app/AppInfo.h"
#include "app/TerminationSignals.h"
#include "cli/CliOptions.h"
#include "cli/CliRunner.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

using namespace Tessaryn;

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    // The studio's identity: the command line shares its settings and its stored key.
    AppInfo::applyIdentity();

    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.value(0) == QLatin1String("--version")) {
        std::puts(AppInfo::versionLine().toUtf8().constData());
        return CliRunner::Ok;
    }
    // Ends the running jobs (their partial files removed) before leaving.
    TerminationSignals::install([](int signalNumber) {
        CliRunner::stopRunningJobs();
        std::fflush(stdout);
        std::_Exit(128 + signalNumber);
    });
    CliOptions options;
    QString error;
    if (!CliOptions::parse(arguments, &options, &error)) {
        std::fprintf(stderr, "tessaryn-cli: %s\n", error.toUtf8().constData());
        return CliRunner::UsageError;
    }
    return CliRunner(options).run();
}
