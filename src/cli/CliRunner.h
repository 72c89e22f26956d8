#pragma once

#include "cli/CliOptions.h"

#include <QString>

#include <cstdio>

namespace Tessaryn {

class Workspace;
class ReelJobQueue;
struct JobOutcome;

// Carries out one parsed command over the pipeline. Results go to standard output, progress
// and errors to standard error, one line each: the streams stay readable through pipes and
// GNU parallel. Returns the exit status: 0 all went well, 1 a job failed, 2 a usage error.
class CliRunner {
public:
    static constexpr int Ok = 0;
    static constexpr int JobFailed = 1;
    static constexpr int UsageError = 2;

    explicit CliRunner(const CliOptions& options, std::FILE* out = stdout, std::FILE* err = stderr);
    int run();
    // Ends the jobs of the queue now running, if any, without reports.
    static void stopRunningJobs();

private:
    int create();
    int runReelJobs(bool render);
    int exportFiles();
    int exportWhole(Workspace& workspace, const QList<bool>& axes);
    int stitch();
    int status();
    bool openWorkspace(Workspace& workspace);
    // The indices of the reels named with --reel, or of the reels the command applies to.
    bool selectReels(Workspace& workspace, bool render, QList<int>* indices);
    bool runOne(ReelJobQueue& queue, int index, bool render);
    void say(const QString& line);
    void warn(const QString& line);
    int usageError(const QString& line);

    CliOptions options;
    std::FILE* out;
    std::FILE* err;
    bool analyzerUnavailable = false;
};

} // namespace Tessaryn
