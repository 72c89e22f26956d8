#include "timeline/EdlMarkerExport.h"

#include "timeline/Timecode.h"
#include "timeline/TimelineData.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace Tessaryn {

namespace {

// "|" separates the comment's fields and a line break ends it, so neither may stay in a name.
QString markerName(const QString& text) {
    QString name = text.simplified();
    name.replace(QLatin1Char('|'), QLatin1Char('/'));
    return name.isEmpty() ? QStringLiteral("Marker") : name;
}

} // namespace

QString EdlMarkerExport::formatName() const {
    return QStringLiteral("edl");
}

QList<EdlMarkerExport::Mark> EdlMarkerExport::marks(const TimelineData& data,
                                                    TimelineAxis axis) const {
    const double fps = streamFacts.known() ? streamFacts.fps() : 30.0;
    const QList<Span> placed = spans(data, axis);
    QList<Mark> out;
    for (int i = 0; i < data.segments.size(); ++i) {
        const Span& span = placed[i];
        if (!span.onAxis)
            continue;
        const qint64 first =
            span.startFrame >= 0 ? span.startFrame : std::llround(std::max(0.0, span.start) * fps);
        const qint64 end =
            span.endFrame >= 0 ? span.endFrame : std::llround(std::max(0.0, span.end) * fps);
        const Segment& s = data.segments[i];
        if (!out.isEmpty() && out.last().frame == first) {
            // Resolve keeps one marker a frame; the later segment's name joins the first.
            Mark& same = out.last();
            same.name += QStringLiteral(" / ") + markerName(s.description);
            same.frames = std::max(same.frames, end - first);
            continue;
        }
        out.append({first, std::max<qint64>(1, end - first), markerColor(s.classification),
                    markerName(s.description)});
    }
    return out;
}

QString EdlMarkerExport::timecode(qint64 frame) const {
    const int nominal = streamFacts.known() ? streamFacts.nominalFps() : 30;
    const bool drop = dropFrame && streamFacts.isNtsc() && nominal % 30 == 0;
    // The frame whose label is the record start: drop-frame labels skip nominal/15 labels in
    // 54 of every 60 minutes.
    qint64 start = qint64(recordStartHour) * 3600 * nominal;
    if (drop)
        start -= qint64(recordStartHour) * 54 * (nominal / 15);
    return Timecode::fromFrame(start + frame, nominal, drop);
}

QString EdlMarkerExport::header(int part) const {
    QString title = QFileInfo(sourcePath).completeBaseName().simplified();
    if (title.isEmpty())
        title = QStringLiteral("Tessaryn markers");
    if (part > 0)
        title += QStringLiteral(" (%1)").arg(part + 1);
    const bool drop = dropFrame && streamFacts.isNtsc();
    return QStringLiteral("TITLE: %1\nFCM: %2\n\n")
        .arg(title, drop ? QStringLiteral("DROP FRAME") : QStringLiteral("NON-DROP FRAME"));
}

QStringList EdlMarkerExport::files(const TimelineData& data, TimelineAxis axis) const {
    const QList<Mark> list = marks(data, axis);
    QStringList out;
    for (int at = 0; at < list.size() || out.isEmpty(); at += MaxEvents) {
        QString text = header(int(out.size()));
        for (int i = at; i < std::min<int>(at + MaxEvents, int(list.size())); ++i) {
            const Mark& mark = list[i];
            const QString in = timecode(mark.frame);
            const QString out1 = timecode(mark.frame + 1);
            text += QStringLiteral("%1  001      V     C        %2 %3 %2 %3  \n")
                        .arg(i - at + 1, 3, 10, QLatin1Char('0'))
                        .arg(in, out1);
            text += QStringLiteral(" |C:ResolveColor%1 |M:%2 |D:%3\n\n")
                        .arg(mark.color, mark.name)
                        .arg(mark.frames);
        }
        out << text;
    }
    return out;
}

QString EdlMarkerExport::text(const TimelineData& data, TimelineAxis axis) const {
    return files(data, axis).first();
}

QString EdlMarkerExport::partPath(const QString& path, int part) {
    if (part == 0)
        return path;
    const QFileInfo info(path);
    return info.dir().filePath(
        QStringLiteral("%1_%2.%3").arg(info.completeBaseName()).arg(part + 1).arg(info.suffix()));
}

bool EdlMarkerExport::write(const TimelineData& data, const QString& path, TimelineAxis axis,
                            QString* error) const {
    const QStringList texts = files(data, axis);
    for (int part = 0; part < texts.size(); ++part) {
        if (!writeText(partPath(path, part), texts[part], error))
            return false;
    }
    return true;
}

} // namespace Tessaryn
