#pragma once

#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>
#include <mutex>

namespace Tessaryn {

// Carries closures from worker threads to the thread that owns this object (the GUI thread).
// A posted event wakes that thread at once; a 20 ms timer is the fallback for closures posted
// before an application object existed. Each drain takes the whole queue, so every closure
// runs exactly once, in posting order, and a closure that posts another never runs it
// re-entrantly.
class UiDispatcher : public QObject {
    Q_OBJECT

public:
    static constexpr int DrainIntervalMs = 20;

    explicit UiDispatcher(QObject* parent = nullptr);
    // Queued closures are destroyed without running.
    ~UiDispatcher() override;

    // Any thread. An empty function is ignored.
    void post(std::function<void()> fn);
    // Owner thread only.
    void drain();

protected:
    void customEvent(QEvent* event) override;

private:
    std::mutex mutex;
    std::deque<std::function<void()>> pending;
    QTimer drainTimer;
};

} // namespace Tessaryn
