#pragma once

#include "media/ProcessJob.h"

#include <QList>

#include <functional>

namespace Tessaryn {

// What ffmpeg measures of a clip on a downscaled decode: frozen picture, scene changes and
// quiet, each with its times in seconds.
struct FootageMeasurements {
    struct Span {
        double start = 0.0;
        double end = 0.0;
    };
    double duration = 0.0;
    QList<Span> freezes;
    QList<double> sceneChanges;
    QList<Span> silences;
    bool hasAudio = false;
};

// Measures a clip with ffmpeg's freezedetect, scdet and silencedetect filters in one decode,
// reading their reports from standard error as they arrive.
class MeasureJob : public ProcessJob {
public:
    struct Settings {
        double freezeNoise = 0.003;    // picture difference below which a frame counts as still
        double minFreezeSeconds = 0.5; // shorter stillness is not reported
        double sceneThreshold = 10.0;  // scdet's score, 0 to 100
        double silenceDb = -50.0;
    };

    std::function<void(int percent)> progressCallback;
    std::function<void(bool success, const FootageMeasurements& measured, const QString& error)>
        measuredCallback;

    explicit MeasureJob(QObject* parent = nullptr);

    void setSource(const QString& path, const Settings& settings);
    const FootageMeasurements& measurements() const { return measured; }

    // Reads one line of ffmpeg's report into the measurements; public for tests.
    static void readLine(const QString& line, FootageMeasurements& into);

protected:
    QString program() const override;
    QStringList arguments() const override;
    QString prepareRun() override;
    void readProgress(QString& tail, const QString& newText) override;
    void verifyResult() override;
    void report(bool success, const QString& errorText) override;

private:
    QString source;
    Settings values;
    FootageMeasurements measured;
    QString pendingLine;
    int lastPercent = -1;
};

} // namespace Tessaryn
