#include "selfupdate/QtControllerBinding.h"

#include "selfupdate/SelfUpdateController.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <deque>
#include <mutex>
#include <utility>

#if defined(__SANITIZE_THREAD__)
#define TESSARYN_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TESSARYN_TSAN 1
#endif
#endif

#ifdef TESSARYN_TSAN
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace selfupdate {

namespace {

// Qt's event queue synchronises the posting and the receiving thread, but ThreadSanitizer cannot
// see inside an uninstrumented Qt; these tell it so.
void handOverSent(void* address) {
#ifdef TESSARYN_TSAN
    __tsan_release(address);
#else
    (void)address;
#endif
}

void handOverReceived(void* address) {
#ifdef TESSARYN_TSAN
    __tsan_acquire(address);
#else
    (void)address;
#endif
}

// Runs closures on the thread of the context it was made for. Closures travel through its own
// mutex-guarded queue (an event only wakes it), never inside an event: posting to an object
// that another thread may be destroying is unsafe, while the relay lives as long as the
// dispatcher holding it. Whether the context still exists is asked on the context's thread,
// where it is destroyed.
class Relay : public QObject {
public:
    explicit Relay(QObject* context) : m_context(context) { moveToThread(context->thread()); }

    // Any thread.
    void post(std::function<void()> fn) {
        if (m_context.isNull())
            return;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_pending.push_back(std::move(fn));
        }
        auto* wake = new QEvent(QEvent::User);
        handOverSent(this);
        QCoreApplication::postEvent(this, wake);
    }

protected:
    void customEvent(QEvent*) override {
        handOverReceived(this);
        std::deque<std::function<void()>> batch;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            batch.swap(m_pending);
        }
        for (std::function<void()>& fn : batch) {
            if (m_context.isNull())
                return;
            fn();
        }
    }

private:
    const QPointer<QObject> m_context;
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_pending;
};

std::shared_ptr<Relay> makeRelay(QObject* context) {
    return std::shared_ptr<Relay>(new Relay(context), [](Relay* relay) {
        // A thread that has ended runs no deferred deletion any more.
        QThread* owner = relay->thread();
        if (!owner || owner == QThread::currentThread() || owner->isFinished())
            delete relay;
        else
            relay->deleteLater();
    });
}

} // namespace

void bindQtController(const std::shared_ptr<SelfUpdateController>& controller, QObject* context,
                      std::function<void(const UpdateState&)> onState,
                      std::function<void()> onQuit) {
    if (!controller)
        return;
    std::shared_ptr<Relay> relay = context ? makeRelay(context) : nullptr;
    controller->setUiDispatcher([relay](std::function<void()> fn) {
        if (relay)
            relay->post(std::move(fn));
    });
    if (onState)
        controller->setStateCallback(std::move(onState));
    if (onQuit) {
        controller->setQuitCallback(std::move(onQuit));
    } else {
        controller->setQuitCallback([] {
            if (QCoreApplication::instance())
                QCoreApplication::quit();
        });
    }
}

} // namespace selfupdate
