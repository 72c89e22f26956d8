#include "cli/CliFanOut.h"

#include <QEventLoop>
#include <QProcess>

#include <memory>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif
#include <vector>

namespace Tessaryn {

namespace {

// Passes on complete lines only, so two children's lines never interleave mid-line.
void forwardLines(QByteArray& pending, const QByteArray& bytes, std::FILE* to) {
    pending += bytes;
    const qsizetype end = pending.lastIndexOf('\n');
    if (end < 0)
        return;
    std::fwrite(pending.constData(), 1, size_t(end + 1), to);
    std::fflush(to);
    pending.remove(0, end + 1);
}

void flushRest(QByteArray& pending, const QByteArray& bytes, std::FILE* to) {
    forwardLines(pending, bytes, to);
    if (pending.isEmpty())
        return;
    pending += '\n';
    forwardLines(pending, QByteArray(), to);
}

struct Child {
    QProcess process;
    QByteArray out;
    QByteArray err;
};

} // namespace

int CliFanOut::run(const QString& program, const QStringList& commandArguments,
                   const QStringList& reels, int jobs, std::FILE* out, std::FILE* err) {
    QEventLoop loop;
    std::vector<std::unique_ptr<Child>> children;
    int next = 0;
    int running = 0;
    int worst = 0;

    std::function<void()> startMore = [&] {
        while (running < jobs && next < reels.size()) {
            auto child = std::make_unique<Child>();
            Child* c = child.get();
            children.push_back(std::move(child));
            QObject::connect(&c->process, &QProcess::readyReadStandardOutput, &loop, [c, out] {
                forwardLines(c->out, c->process.readAllStandardOutput(), out);
            });
            QObject::connect(&c->process, &QProcess::readyReadStandardError, &loop, [c, err] {
                forwardLines(c->err, c->process.readAllStandardError(), err);
            });
            const QString reel = reels[next++];
            QObject::connect(&c->process, &QProcess::finished, &loop,
                             [&, c, reel](int code, QProcess::ExitStatus status) {
                                 flushRest(c->out, c->process.readAllStandardOutput(), out);
                                 flushRest(c->err, c->process.readAllStandardError(), err);
                                 const int result = status == QProcess::NormalExit ? code : 1;
                                 worst = std::max(worst, result);
                                 --running;
                                 startMore();
                                 if (running == 0 && next >= reels.size())
                                     loop.quit();
                             });
            QObject::connect(&c->process, &QProcess::errorOccurred, &loop,
                             [&, c, reel](QProcess::ProcessError error) {
                                 if (error != QProcess::FailedToStart)
                                     return;
                                 std::fprintf(err, "%s: cannot start a job: %s\n", qPrintable(reel),
                                              qPrintable(c->process.errorString()));
                                 worst = std::max(worst, 1);
                                 --running;
                                 startMore();
                                 if (running == 0 && next >= reels.size())
                                     loop.quit();
                             });
            ++running;
#ifdef Q_OS_LINUX
            // Children end with this process, each removing its own partial files.
            c->process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
            c->process.start(program, commandArguments + QStringList{"--reel", reel});
        }
    };
    startMore();
    if (running > 0)
        loop.exec();
    return worst;
}

} // namespace Tessaryn
