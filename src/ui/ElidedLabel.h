#pragma once

#include <QLabel>
#include <QString>

namespace Tessaryn {

// A one-line label that never asks for more room than it is given: a text too long for its
// width loses its middle to "…", and the whole text is in the tooltip.
class ElidedLabel : public QLabel {
public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    void setFullText(const QString& text);
    QString fullText() const { return full; }
    bool isElided() const { return text() != full; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateShownText();

    QString full;
};

} // namespace Tessaryn
