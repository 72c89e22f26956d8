#include "ui/TimelineTrackEditor.h"

#include "timeline/CutTimeMap.h"
#include "timeline/RenderPlan.h"
#include "timeline/TimelineData.h"
#include "timeline/TimelineEdit.h"
#include "ui/TimelineWidget.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>

#include <algorithm>

namespace Tessaryn {

namespace {

// The fixed speeds offered in the menu; others are typed.
constexpr double MenuSpeeds[] = {1.0, 2.0, 4.0, 10.0};

} // namespace

bool TimelineTrackEditor::hasSelection() {
    if (first >= 0 && last < view->timelineData().segments.size())
        return true;
    if (refusedCallback)
        refusedCallback(QStringLiteral("Select a segment on the track first."));
    return false;
}

void TimelineTrackEditor::changeClass(Classification classification) {
    if (!hasSelection())
        return;
    const int from = first;
    const int to = last;
    const double speed = repetitiveSpeed;
    apply(QStringLiteral("Change Class"), [=](TimelineData& data) {
        return TimelineEdit::changeClass(data, from, to, classification, speed);
    });
}

void TimelineTrackEditor::setSpeed(double speed) {
    if (!hasSelection())
        return;
    const int from = first;
    const int to = last;
    apply(QStringLiteral("Set Speed"),
          [=](TimelineData& data) { return TimelineEdit::setSpeed(data, from, to, speed); });
}

void TimelineTrackEditor::askForSpeed() {
    if (!hasSelection())
        return;
    const double current = view->timelineData().segments.at(first).speed_factor;
    bool ok = false;
    const double speed = QInputDialog::getDouble(
        view, QStringLiteral("Segment Speed"),
        QStringLiteral("Play the selection this many times faster (%1 to %2):")
            .arg(TimelineEdit::MinSpeed)
            .arg(TimelineEdit::MaxSpeed),
        std::clamp(current, TimelineEdit::MinSpeed, TimelineEdit::MaxSpeed), TimelineEdit::MinSpeed,
        TimelineEdit::MaxSpeed, 2, &ok);
    if (ok)
        setSpeed(speed);
}

double TimelineTrackEditor::playheadInSource(int* segmentIndex) const {
    const TimelineData& data = view->timelineData();
    const double playhead = view->playheadSeconds();
    if (!onEditedAxis()) {
        *segmentIndex = TimelineEdit::segmentAt(data, playhead);
        return playhead;
    }
    // The player's edited time counts the film's frames as the render plan lays them out.
    const RenderPlan plan = RenderPlan::compute(data, frameFacts);
    const CutTimeMap::Point point = CutTimeMap(plan).sourceAt(playhead);
    *segmentIndex = point.piece < 0 ? -1 : plan.pieces().at(point.piece).segmentIndex;
    return point.sourceSeconds;
}

void TimelineTrackEditor::splitAtPlayhead() {
    int index = -1;
    const double at = playheadInSource(&index);
    const StreamFacts facts = frameFacts;
    apply(QStringLiteral("Split Segment"),
          [=](TimelineData& data) { return TimelineEdit::split(data, index, at, facts); });
}

void TimelineTrackEditor::mergeWithNext() {
    if (!hasSelection())
        return;
    const int from = first;
    // A range becomes one segment; a single one takes in the segment after it.
    const int merges = std::max(1, last - first);
    apply(QStringLiteral("Merge Segments"), [=](TimelineData& data) {
        for (int i = 0; i < merges; ++i) {
            const QString refused = TimelineEdit::mergeWithNext(data, from);
            if (!refused.isEmpty())
                return refused;
        }
        return QString();
    });
    select(from, from);
}

void TimelineTrackEditor::askForDescription(int index) {
    const TimelineData& data = view->timelineData();
    if (index < 0 || index >= data.segments.size())
        return;
    bool ok = false;
    const QString text = QInputDialog::getText(view, QStringLiteral("Segment Description"),
                                               QStringLiteral("Description:"), QLineEdit::Normal,
                                               data.segments.at(index).description, &ok);
    if (!ok)
        return;
    apply(QStringLiteral("Edit Description"),
          [=](TimelineData& edited) { return TimelineEdit::setDescription(edited, index, text); });
}

void TimelineTrackEditor::fillMenu(QMenu* menu) {
    const QList<Segment>& segments = view->timelineData().segments;
    const bool selected = first >= 0 && last < segments.size();
    const struct {
        const char* text;
        const char* key;
        Classification classification;
    } classes[] = {{"Milestone", "1", Classification::Milestone},
                   {"Repetitive Work", "2", Classification::RepetitiveAssembly},
                   {"Pause (Cut Out)", "3", Classification::StaticPause}};
    for (const auto& c : classes) {
        QAction* action = menu->addAction(QString::fromLatin1(c.text));
        action->setShortcut(QKeySequence(QString::fromLatin1(c.key)));
        action->setCheckable(true);
        action->setChecked(selected && first == last &&
                           segments.at(first).classification == c.classification);
        action->setEnabled(selected);
        const Classification classification = c.classification;
        QObject::connect(action, &QAction::triggered, menu,
                         [this, classification] { changeClass(classification); });
    }
    QMenu* speed = menu->addMenu(QStringLiteral("Speed"));
    speed->setEnabled(selected);
    for (double factor : MenuSpeeds) {
        QAction* action = speed->addAction(QStringLiteral("%1x").arg(factor));
        QObject::connect(action, &QAction::triggered, menu, [this, factor] { setSpeed(factor); });
    }
    QObject::connect(speed->addAction(QStringLiteral("Other Speed...")), &QAction::triggered, menu,
                     [this] { askForSpeed(); });
    menu->addSeparator();
    QAction* split = menu->addAction(QStringLiteral("Split at Playhead"));
    split->setShortcut(QKeySequence(QStringLiteral("S")));
    QObject::connect(split, &QAction::triggered, menu, [this] { splitAtPlayhead(); });
    QAction* merge = menu->addAction(QStringLiteral("Merge with Next"));
    merge->setShortcut(QKeySequence(QStringLiteral("M")));
    merge->setEnabled(selected && (last > first || last + 1 < segments.size()));
    QObject::connect(merge, &QAction::triggered, menu, [this] { mergeWithNext(); });
    QAction* describe = menu->addAction(QStringLiteral("Edit Description..."));
    describe->setEnabled(selected);
    const int index = first;
    QObject::connect(describe, &QAction::triggered, menu,
                     [this, index] { askForDescription(index); });
}

} // namespace Tessaryn
