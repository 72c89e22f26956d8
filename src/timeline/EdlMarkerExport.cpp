#include "timeline/EdlMarkerExport.h"

#include "timeline/RenderPlan.h"
#include "timeline/Timecode.h"
#include "timeline/TimelineData.h"

#include <QDir>
#include <QFile>
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
        addMark(out, {first, std::max<qint64>(1, end - first), markerColor(s.classification),
                      markerName(s.description)});
    }
    return out;
}

void EdlMarkerExport::addMark(QList<Mark>& list, const Mark& mark) {
    if (!list.isEmpty() && list.last().frame == mark.frame) {
        Mark& same = list.last();
        same.name += QStringLiteral(" / ") + mark.name;
        same.frames = std::max(same.frames, mark.frames);
        return;
    }
    list.append(mark);
}

QList<EdlMarkerExport::Mark> EdlMarkerExport::sequenceMarks(const QList<Part>& parts,
                                                            TimelineAxis axis) const {
    QList<Mark> out;
    if (parts.isEmpty())
        return out;
    const RenderPlan grid = RenderPlan::compute(parts.first().data, parts.first().facts);
    qint64 offset = 0;
    for (const Part& part : parts) {
        const RenderPlan plan = RenderPlan::compute(part.data, part.facts);
        for (Mark mark : forPart(*this, part).marks(part.data, axis)) {
            mark.frame = offset + conform(mark.frame, plan, grid);
            mark.frames = std::max<qint64>(1, conform(mark.frames, plan, grid));
            addMark(out, mark);
        }
        offset += conform(partFrames(part, plan, axis), plan, grid);
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
    QString title = titleOr(QFileInfo(sourcePath).completeBaseName()).simplified();
    if (title.isEmpty())
        title = QStringLiteral("Tessaryn markers");
    if (part > 0)
        title += QStringLiteral(" (%1)").arg(part + 1);
    const bool drop = dropFrame && streamFacts.isNtsc();
    return QStringLiteral("TITLE: %1\nFCM: %2\n\n")
        .arg(title, drop ? QStringLiteral("DROP FRAME") : QStringLiteral("NON-DROP FRAME"));
}

QStringList EdlMarkerExport::files(const TimelineData& data, TimelineAxis axis) const {
    return filesFor(marks(data, axis));
}

QStringList EdlMarkerExport::filesFor(const QList<Mark>& list) const {
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
    return writeFiles(files(data, axis), path, error);
}

QString EdlMarkerExport::sequenceText(const QList<Part>& parts, TimelineAxis axis) const {
    if (parts.isEmpty())
        return QString();
    return forPart(*this, parts.first()).filesFor(sequenceMarks(parts, axis)).first();
}

bool EdlMarkerExport::writeSequence(const QList<Part>& parts, const QString& path,
                                    TimelineAxis axis, QString* error) const {
    if (parts.isEmpty())
        return TimelineExport::writeSequence(parts, path, axis, error);
    return writeFiles(forPart(*this, parts.first()).filesFor(sequenceMarks(parts, axis)), path,
                      error);
}

bool EdlMarkerExport::writeFiles(const QStringList& texts, const QString& path, QString* error) {
    for (int part = 0; part < texts.size(); ++part) {
        if (!writeText(partPath(path, part), texts[part], error))
            return false;
    }
    // Only regular files of our own naming are removed; the first gap ends the old run.
    for (int part = int(texts.size());; ++part) {
        const QFileInfo stale(partPath(path, part));
        if (!stale.isFile() || stale.isSymLink() || !QFile::remove(stale.filePath()))
            break;
    }
    return true;
}

} // namespace Tessaryn
