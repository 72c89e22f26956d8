#include "app/UiDispatcher.h"

#include <QCoreApplication>
#include <QEvent>

namespace Tessaryn {

UiDispatcher::UiDispatcher(QObject* parent) : QObject(parent) {
    connect(&drainTimer, &QTimer::timeout, this, [this] { drain(); });
    drainTimer.start(DrainIntervalMs);
}

UiDispatcher::~UiDispatcher() {
    drainTimer.stop();
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex);
        dropped.swap(pending);
    }
}

void UiDispatcher::post(std::function<void()> fn) {
    if (!fn)
        return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        pending.push_back(std::move(fn));
    }
    if (QCoreApplication::instance())
        QCoreApplication::postEvent(this, new QEvent(QEvent::User), Qt::NormalEventPriority);
}

void UiDispatcher::drain() {
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard<std::mutex> lock(mutex);
        batch.swap(pending);
    }
    for (std::function<void()>& fn : batch) {
        if (fn)
            fn();
    }
}

void UiDispatcher::customEvent(QEvent*) {
    drain();
}

} // namespace Tessaryn
