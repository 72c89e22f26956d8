#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace Tessaryn {

class TimelineData;

// One way of turning a clip into a computed timeline. One analysis at a time; every analysis
// that start() accepts ends with exactly one finishedCallback, a cancelled one included.
// Callbacks are invoked synchronously and only when set.
class Analyzer : public QObject {
public:
    std::function<void(const QString& text, int percent)> progressCallback;
    std::function<void(qint64 promptTokens, qint64 candidatesTokens)> usageCallback;
    std::function<void(bool success, const TimelineData& timeline, const QString& error)>
        finishedCallback;

    explicit Analyzer(QObject* parent = nullptr) : QObject(parent) {}

    // The name used on the command line and in settings ("gemini").
    virtual QString name() const = 0;
    // Who does the work, in the words of a progress line ("Gemini 2.5 Flash" for the model in use).
    virtual QString displayName() const = 0;
    // Empty when an analysis can start; otherwise why it cannot (no key, say). Checked before
    // every start, so a queue stops instead of failing each reel the same way.
    virtual QString unavailableReason() const = 0;
    virtual void start(const QString& videoPath) = 0;
    virtual void cancel() = 0;
    virtual bool isBusy() const = 0;
};

} // namespace Tessaryn
