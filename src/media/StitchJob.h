#pragma once

#include "media/ProcessJob.h"

namespace Tessaryn {

// Joins the clips of a concat list without re-encoding. The film replaces the previous one
// only when it lasts as long as its parts together.
class StitchJob : public ProcessJob {
public:
    StitchJob(const QString& listPath, const QString& outputPath, double expectedSeconds,
              double tolerance, QObject* parent = nullptr);

protected:
    QString program() const override;
    QStringList arguments() const override;
    void verifyResult() override;

private:
    QString list;
    double expected = 0.0;
    double tolerance = 0.0;
};

} // namespace Tessaryn
