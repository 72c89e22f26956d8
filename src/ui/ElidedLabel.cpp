#include "ui/ElidedLabel.h"

#include <QFontMetrics>
#include <QResizeEvent>

namespace Tessaryn {

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void ElidedLabel::setFullText(const QString& text) {
    full = text;
    setToolTip(text);
    updateShownText();
    updateGeometry();
}

QSize ElidedLabel::sizeHint() const {
    // Wide enough for a short text; a long one is elided rather than widening the window.
    const QFontMetrics metrics(font());
    const int wanted =
        metrics.horizontalAdvance(full) + contentsMargins().left() + contentsMargins().right() + 2;
    return {qMin(wanted, 480), QLabel::sizeHint().height()};
}

QSize ElidedLabel::minimumSizeHint() const {
    return {60, QLabel::minimumSizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    updateShownText();
}

void ElidedLabel::updateShownText() {
    const int room = contentsRect().width();
    // Before the first layout pass there is no width to fit: show it whole until then.
    const QString shown =
        room > 0 ? QFontMetrics(font()).elidedText(full, Qt::ElideMiddle, room) : full;
    if (shown != text())
        QLabel::setText(shown);
}

} // namespace Tessaryn
