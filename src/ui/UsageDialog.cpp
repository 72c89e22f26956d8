#include "ui/UsageDialog.h"

#include "app/PipelineSettings.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace Tessaryn {

double UsageDialog::estimatedCost(qint64 promptTokens, qint64 candidateTokens) {
    return static_cast<double>(promptTokens) / 1000000.0 * PromptPricePerMillion +
           static_cast<double>(candidateTokens) / 1000000.0 * CandidatePricePerMillion;
}

QString UsageDialog::costText(double dollars) {
    return QStringLiteral("$%1 USD").arg(dollars, 0, 'f', 4);
}

UsageDialog::UsageDialog(qint64 promptTokens, qint64 candidateTokens, int invocations,
                         QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Tessaryn — AI Telemetry & Cost Dashboard"));
    resize(500, 360);
    setMinimumSize(460, 320);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(16);

    auto* group = new QGroupBox(QStringLiteral("GEMINI 3.8 FLASH TOKEN TELEMETRY"), this);
    auto* rows = new QVBoxLayout(group);
    rows->setSpacing(10);
    const struct {
        const char* label;
        QString value;
        const char* colour;
    } figures[] = {
        {"Total API Invocations:", QString::number(invocations), "#FFFFFF"},
        {"Prompt Tokens (Input):", QString::number(promptTokens), "#64B5F6"},
        {"Candidate Tokens (Output):", QString::number(candidateTokens), "#81C784"},
        {"Total Tokens Consumed:", QString::number(promptTokens + candidateTokens), "#D4AF37"},
        {"Estimated Total Cost:", costText(estimatedCost(promptTokens, candidateTokens)),
         "#2ECC71"},
    };
    for (const auto& figure : figures) {
        auto* row = new QHBoxLayout();
        auto* value = new QLabel(figure.value, group);
        value->setStyleSheet(QStringLiteral("font-weight: bold; color: %1; font-size: 13px; "
                                            "font-family: 'Consolas', monospace;")
                                 .arg(QLatin1String(figure.colour)));
        row->addWidget(new QLabel(QString::fromUtf8(figure.label), group));
        row->addStretch();
        row->addWidget(value);
        rows->addLayout(row);
    }
    layout->addWidget(group);

    auto* note =
        new QLabel(QStringLiteral("Token counts of this session's analyses; new analyses use %1.")
                       .arg(PipelineSettings::displayName(PipelineSettings::load().model)),
                   this);
    note->setStyleSheet(QStringLiteral("color: #8C92A0; font-size: 11px; font-style: italic;"));
    note->setWordWrap(true);
    layout->addWidget(note);

    auto* buttons = new QHBoxLayout();
    auto* closeButton = new QPushButton(QStringLiteral("Close"), this);
    closeButton->setObjectName(QStringLiteral("goldButton"));
    closeButton->setMinimumWidth(100);
    buttons->addStretch();
    buttons->addWidget(closeButton);
    layout->addLayout(buttons);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace Tessaryn
