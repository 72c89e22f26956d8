#include "media/RenderGraph.h"

#include "timeline/RenderPlan.h"
#include "timeline/StreamFacts.h"

#include <QStringList>

#include <cmath>

namespace Tessaryn {

namespace {

QString number(double value) {
    return QString::number(value, 'f', 6);
}

// True for the frames the piece shows, n counting the source frames from 0.
QString pieceTerm(const RenderPlan::Piece& piece) {
    const QString range =
        QStringLiteral("between(n,%1,%2)")
            .arg(QString::number(piece.firstFrame), QString::number(piece.endFrame - 1));
    if (piece.step == 1)
        return range;
    return QStringLiteral("%1*not(mod(n-%2,%3))")
        .arg(range, QString::number(piece.firstFrame), QString::number(piece.step));
}

} // namespace

qint64 RenderGraph::samplesBefore(const RenderPlan& plan, qint64 frame) {
    // Whole samples rounded from the exact rational time, so pieces add up without drift.
    const qint64 scaled = frame * SampleRate * plan.rateDen();
    return (scaled + plan.rateNum() / 2) / plan.rateNum();
}

QString RenderGraph::tempoChain(double tempo) {
    QStringList steps;
    while (tempo > MaxTempoStep + 1e-9) {
        steps << QStringLiteral("atempo=2");
        tempo /= MaxTempoStep;
    }
    if (std::abs(tempo - 1.0) > 1e-9)
        steps << QStringLiteral("atempo=%1").arg(number(tempo));
    return steps.join(QLatin1Char(','));
}

QString RenderGraph::video(const RenderPlan& plan, const StreamFacts& facts) {
    const QString rate = QStringLiteral("%1/%2").arg(plan.rateNum()).arg(plan.rateDen());
    QStringList chain;
    // Frame numbers count the nominal grid: a variable-rate clip is laid on it first.
    if (facts.variableRate)
        chain << QStringLiteral("fps=%1").arg(rate);
    // Nothing after the last shown frame is decoded for the film.
    chain << QStringLiteral("trim=end_frame=%1").arg(plan.pieces().last().endFrame);
    QStringList terms;
    for (const RenderPlan::Piece& piece : plan.pieces())
        terms << pieceTerm(piece);
    chain << QStringLiteral("select='%1'").arg(terms.join(QLatin1Char('+')));
    chain << QStringLiteral("setpts=N*%1/%2/TB").arg(plan.rateDen()).arg(plan.rateNum());
    // Autorotation has already turned the picture; the encoder needs even sizes.
    chain << QStringLiteral("pad=ceil(iw/2)*2:ceil(ih/2)*2") << QStringLiteral("setsar=1")
          << QStringLiteral("format=yuv420p");
    return QStringLiteral("[0:v]%1[outv]").arg(chain.join(QLatin1Char(',')));
}

QString RenderGraph::sound(const RenderPlan& plan, const StreamFacts& facts,
                           const RenderOptions& options) {
    const qint64 total = samplesBefore(plan, plan.totalOutputFrames());
    // A clip without sound gets silence, so every cut of a master carries the same streams.
    if (!facts.hasAudio)
        return QStringLiteral("anullsrc=r=%1:cl=stereo,atrim=end_sample=%2[outa]")
            .arg(QString::number(SampleRate), QString::number(total));
    QStringList filters;
    QString labels;
    for (int i = 0; i < plan.pieces().size(); ++i) {
        const RenderPlan::Piece& piece = plan.pieces()[i];
        const qint64 samples =
            samplesBefore(plan, piece.outputEnd()) - samplesBefore(plan, piece.outputStart);
        // Silence carries on a sound track that ends before the picture; then each piece is cut
        // first, to convert only its own stretch of the source's sound.
        QStringList chain{
            QStringLiteral("apad"),
            QStringLiteral("atrim=start=%1:end=%2")
                .arg(number(plan.seconds(piece.firstFrame)), number(plan.seconds(piece.endFrame))),
            QStringLiteral("asetpts=PTS-STARTPTS"), QStringLiteral("aresample=%1").arg(SampleRate),
            QStringLiteral("aformat=sample_fmts=fltp:channel_layouts=stereo")};
        if (piece.step > 1) {
            // Sped exactly as much as the pictures, so sound and picture meet at every joint.
            const double tempo = double(piece.endFrame - piece.firstFrame) / piece.outputFrames;
            const QString tempoSteps = tempoChain(tempo);
            if (options.spedSound == RenderOptions::SpedSound::Muted)
                chain << QStringLiteral("volume=0");
            else if (!tempoSteps.isEmpty())
                chain << tempoSteps
                      << QStringLiteral("volume=%1dB").arg(number(options.spedGainDb));
        }
        // Padded and cut to the piece's exact length: a short sound track never shifts the rest.
        chain << QStringLiteral("apad=whole_len=%1").arg(samples)
              << QStringLiteral("atrim=end_sample=%1").arg(samples);
        filters << QStringLiteral("[0:a]%1[a%2]").arg(chain.join(QLatin1Char(','))).arg(i);
        labels += QStringLiteral("[a%1]").arg(i);
    }
    filters << QStringLiteral("%1concat=n=%2:v=0:a=1[outa]")
                   .arg(labels, QString::number(plan.pieces().size()));
    return filters.join(QLatin1Char(';'));
}

QString RenderGraph::build(const RenderPlan& plan, const StreamFacts& facts,
                           const RenderOptions& options) {
    QString graph = video(plan, facts);
    if (hasSound(options))
        graph += QLatin1Char(';') + sound(plan, facts, options);
    return graph;
}

} // namespace Tessaryn
