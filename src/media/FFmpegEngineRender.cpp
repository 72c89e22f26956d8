#include "media/FFmpegEngine.h"

#include "media/RenderGraph.h"
#include "media/RenderJob.h"
#include "timeline/RenderPlan.h"
#include "timeline/StreamFacts.h"
#include "timeline/TimelineData.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>

namespace Tessaryn {

QList<Segment> FFmpegEngine::activeSegments(const TimelineData& timeline) {
    QList<Segment> active;
    for (const Segment& segment : timeline.segments) {
        if (segment.classification != Classification::StaticPause && segment.speed_factor > 0.0)
            active.append(segment);
    }
    return active;
}

QString FFmpegEngine::formatGraphNumber(double value) {
    QString text = QString::number(value, 'g', 6);
    if (!text.contains(QLatin1Char('e')))
        return text;
    // Re-read the rounded value and print it with as many decimals as six significant digits
    // need, then drop the trailing zeros as %g does.
    const double rounded = text.toDouble();
    const int exponent = static_cast<int>(std::floor(std::log10(std::abs(rounded))));
    text = QString::number(rounded, 'f', std::max(0, 5 - exponent));
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    return text;
}

QString FFmpegEngine::buildFilterGraph(const QList<Segment>& active) {
    QStringList filters;
    QString labels;
    for (qsizetype i = 0; i < active.size(); ++i) {
        const Segment& segment = active[i];
        const double setptsFactor = std::round(1.0 / segment.speed_factor * 100000.0) / 100000.0;
        filters << QStringLiteral("[0:v]trim=start=%1:end=%2,setpts=%3*(PTS-STARTPTS)[v%4]")
                       .arg(formatGraphNumber(segment.source_start),
                            formatGraphNumber(segment.source_end), formatGraphNumber(setptsFactor),
                            QString::number(i));
        labels += QStringLiteral("[v%1]").arg(i);
    }
    // ffmpeg's own frame-rate conversion holds the last sped-up frame two frames too long;
    // resampling the joined pieces to the source rate keeps the cut as long as its timeline.
    const QString concat = QStringLiteral("%1concat=n=%2:v=1:a=0,fps=source_fps[outv]")
                               .arg(labels, QString::number(active.size()));
    return filters.join(QLatin1Char(';')) + QLatin1Char(';') + concat;
}

QStringList FFmpegEngine::renderArguments(const QString& inputPath, const QString& filterGraph,
                                          const QString& outputPath, bool withSound) {
    QStringList arguments{QStringLiteral("-y"),
                          QStringLiteral("-i"),
                          inputPath,
                          QStringLiteral("-filter_complex"),
                          filterGraph,
                          QStringLiteral("-map"),
                          QStringLiteral("[outv]"),
                          QStringLiteral("-c:v"),
                          QStringLiteral("libx264"),
                          QStringLiteral("-preset"),
                          QStringLiteral("fast"),
                          QStringLiteral("-crf"),
                          QStringLiteral("20"),
                          QStringLiteral("-pix_fmt"),
                          QStringLiteral("yuv420p")};
    if (withSound)
        arguments << QStringLiteral("-map") << QStringLiteral("[outa]") << QStringLiteral("-c:a")
                  << QStringLiteral("aac") << QStringLiteral("-b:a") << QStringLiteral("160k");
    arguments << outputPath;
    return arguments;
}

bool FFmpegEngine::renderEditedVideo(const QString& inputPath, const TimelineData& timeline,
                                     const QString& outputPath) {
    // Copies first: ending the running job calls back into the owner, which may change the
    // objects these references point into.
    const QString input = inputPath;
    const QList<Segment> active = activeSegments(timeline);
    const double editedDuration = timeline.total_edited_duration;
    const QString output = outputPath;
    if (!endRunningJob(output))
        return false;
    if (active.isEmpty()) {
        reportRefused(output, QStringLiteral("No active segments to render."));
        return false;
    }
    const QString sourceFault = RenderJob::sourceFault(input);
    if (!sourceFault.isEmpty()) {
        reportRefused(output, sourceFault);
        return false;
    }
    // The cut's own measure: the retimed length of every piece it is made of.
    double expected = 0.0;
    for (const Segment& segment : active)
        expected += (segment.source_end - segment.source_start) / segment.speed_factor;
    return startRender(input, buildFilterGraph(active), output, {expected, editedDuration},
                       static_cast<int>(active.size()), false);
}

bool FFmpegEngine::renderEditedVideo(const QString& inputPath, const TimelineData& timeline,
                                     const StreamFacts& facts, const RenderOptions& options,
                                     const QString& outputPath) {
    if (!facts.known())
        return renderEditedVideo(inputPath, timeline, outputPath);
    const QString input = inputPath;
    const RenderPlan plan = RenderPlan::compute(timeline, facts);
    const QString output = outputPath;
    if (!endRunningJob(output))
        return false;
    if (plan.pieces().isEmpty()) {
        reportRefused(output, QStringLiteral("No active segments to render."));
        return false;
    }
    const QString sourceFault = RenderJob::sourceFault(input);
    if (!sourceFault.isEmpty()) {
        reportRefused(output, sourceFault);
        return false;
    }
    return startRender(input, RenderGraph::build(plan, facts, options), output,
                       {plan.totalSeconds(), plan.totalSeconds()},
                       static_cast<int>(plan.pieces().size()), RenderGraph::hasSound(options));
}

bool FFmpegEngine::startRender(const QString& input, const QString& graph, const QString& output,
                               RenderLength length, int pieces, bool withSound) {
    QDir(QFileInfo(output).absolutePath()).mkpath(QStringLiteral("."));
    if (logCallback)
        logCallback(QStringLiteral("Rendering speed-ramped video (%1 segments) to %2")
                        .arg(QString::number(pieces), output));
    auto* render = new RenderJob(input, graph, output, length.expected, this);
    render->setSound(withSound);
    const double total = length.progressTotal;
    render->progressCallback = [this, total](double seconds) {
        if (progressCallback)
            progressCallback(progressPercent(seconds, total), seconds, total);
    };
    return startJob(render, output);
}

} // namespace Tessaryn
