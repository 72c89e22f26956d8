#pragma once

#include <QDialog>
#include <QString>

namespace Tessaryn {

// A snapshot of the Gemini usage counted since start-up: invocations, token totals and the
// estimated cost. It does not change while open.
class UsageDialog : public QDialog {
public:
    // US dollars per one million tokens.
    static constexpr double PromptPricePerMillion = 0.15;
    static constexpr double CandidatePricePerMillion = 0.60;

    UsageDialog(qint64 promptTokens, qint64 candidateTokens, int invocations,
                QWidget* parent = nullptr);

    static double estimatedCost(qint64 promptTokens, qint64 candidateTokens);
    // "$%1 USD" with four decimals.
    static QString costText(double dollars);
};

} // namespace Tessaryn
