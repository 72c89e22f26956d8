#pragma once

#include "media/RenderOptions.h"
#include "timeline/Segment.h"
#include "timeline/StreamFacts.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace Tessaryn {

class ProcessJob;
class TimelineData;

// The single contact with ffmpeg and ffprobe: finds them, runs at most one render or proxy job
// at a time, turns its standard error into progress and reports through the callbacks, each
// invoked synchronously and only when set. Every job ends with exactly one finishedCallback.
class FFmpegEngine : public QObject {
public:
    // Retained standard error is cut to its last StderrKeep characters whenever it exceeds
    // StderrLimit, so a long job does not grow memory with progress lines.
    static constexpr int StderrLimit = 4096;
    static constexpr int StderrKeep = 2048;
    static constexpr int ErrorTailLength = 500;
    static constexpr int KillWaitMs = 3000;
    static constexpr int ProbeTimeoutMs = 10000;
    static constexpr int MinProxyHeight = 2;
    // A render or proxy whose ffmpeg writes nothing for this long is stopped as stalled.
    static constexpr int DefaultStallTimeoutMs = 5 * 60 * 1000;

    std::function<void(int percent, double currentSeconds, double totalSeconds)> progressCallback;
    std::function<void(bool success, const QString& outputPath, const QString& errorText)>
        finishedCallback;
    std::function<void(const QString& message)> logCallback;

    explicit FFmpegEngine(QObject* parent = nullptr);
    ~FFmpegEngine() override;

    // Both evaluated afresh on every call and never empty: the bare program name is the last
    // resort, left to the process launcher.
    static QString findFFmpeg();
    static QString findFFprobe();
    static bool isAvailable();

    // False when nothing was launched, the reason having gone to finishedCallback already;
    // otherwise every outcome, a launch that fails included, arrives there later. The source
    // must be an existing regular file; a cut that does not last the edited duration within
    // one frame never replaces the previous one.
    bool renderEditedVideo(const QString& inputPath, const TimelineData& timeline,
                           const QString& outputPath);
    // Frame for frame as the render plan of the timeline on the clip's grid lays it out, with
    // sound as the options say. Unknown facts render as the overload above does.
    bool renderEditedVideo(const QString& inputPath, const TimelineData& timeline,
                           const StreamFacts& facts, const RenderOptions& options,
                           const QString& outputPath);
    bool createProxy(const QString& inputPath, const QString& outputPath, int height);
    // Blocks for at most ProbeTimeoutMs; 0 when the duration cannot be determined. Not for the
    // GUI thread, which uses ProbeJob instead.
    static double getVideoDuration(const QString& videoPath);
    // Blocks likewise; unknown facts when the clip cannot be probed.
    static StreamFacts getStreamFacts(const QString& videoPath);

    void cancel();
    bool isRunning() const;
    // Applies to jobs started afterwards; 0 disables the watchdog.
    void setStallTimeoutMs(int ms) { stallTimeoutMs = ms; }

    // Segments that reach the cut, in timeline order: not a pause and sped by more than 0.
    static QList<Segment> activeSegments(const TimelineData& timeline);
    static QString buildFilterGraph(const QList<Segment>& active);
    // With sound, the graph's [outa] is written as AAC beside the picture.
    static QStringList renderArguments(const QString& inputPath, const QString& filterGraph,
                                       const QString& outputPath, bool withSound = false);
    // Six significant digits like printf's %g, but never in exponent notation, which ffmpeg's
    // option parser rejects.
    static QString formatGraphNumber(double value);

    // Appends newly read text to the bounded buffer and returns the latest "time=" reading that
    // ends inside the new text.
    static std::optional<double> readProgress(QString& buffer, const QString& newText);
    static int progressPercent(double currentSeconds, double totalSeconds);

private:
    bool endRunningJob(const QString& nextOutputPath);
    bool startJob(ProcessJob* started, const QString& finalPath);
    void onJobFinished(ProcessJob* finished, const QString& finalPath, bool success,
                       const QString& errorText);
    void reportRefused(const QString& path, const QString& errorText);
    struct RenderLength {
        double expected = 0.0;      // the written cut must last this long
        double progressTotal = 0.0; // progress is measured against this
    };
    bool startRender(const QString& input, const QString& graph, const QString& output,
                     RenderLength length, int pieces, bool withSound);

    ProcessJob* job = nullptr;
    int stallTimeoutMs = DefaultStallTimeoutMs;
    bool endingJob = false;
};

} // namespace Tessaryn
