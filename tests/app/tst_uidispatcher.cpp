#include "app/UiDispatcher.h"

#include <QCoreApplication>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace Tessaryn;

class UiDispatcherTest : public QObject {
    Q_OBJECT

private slots:
    // Each closure runs once, on the GUI thread, and closures of one thread keep their order.
    void closuresFromManyThreadsRunOnceInOrder() {
        UiDispatcher dispatcher;
        constexpr int Threads = 4;
        constexpr int PerThread = 2000;
        std::vector<std::vector<int>> seen(Threads);
        std::atomic<int> offThread{0};
        QThread* gui = QThread::currentThread();

        std::vector<std::thread> workers;
        for (int t = 0; t < Threads; ++t) {
            workers.emplace_back([&, t] {
                for (int i = 0; i < PerThread; ++i) {
                    dispatcher.post([&, t, i] {
                        if (QThread::currentThread() != gui)
                            ++offThread;
                        seen[t].push_back(i);
                    });
                }
            });
        }
        for (std::thread& w : workers)
            w.join();
        int total = 0;
        QVERIFY(QTest::qWaitFor([&] {
            total = 0;
            for (const auto& s : seen)
                total += int(s.size());
            return total == Threads * PerThread;
        }));
        QTest::qWait(50);
        for (const auto& s : seen) {
            QCOMPARE(int(s.size()), PerThread);
            for (int i = 0; i < PerThread; ++i)
                QCOMPARE(s[i], i);
        }
        QCOMPARE(offThread.load(), 0);
    }

    // A closure posted from inside a drain waits for the next one instead of running nested.
    void closurePostedWhileDrainingRunsLater() {
        UiDispatcher dispatcher;
        QStringList order;
        dispatcher.post([&] {
            order << "outer start";
            dispatcher.post([&] { order << "inner"; });
            order << "outer end";
        });
        dispatcher.drain();
        QCOMPARE(order, QStringList({"outer start", "outer end"}));
        QVERIFY(QTest::qWaitFor([&] { return order.size() == 3; }));
        QCOMPARE(order.last(), "inner");
    }

    void destroyingDropsQueuedClosures() {
        auto dispatcher = std::make_unique<UiDispatcher>();
        int runs = 0;
        auto counted = std::make_shared<int>(0);
        dispatcher->post([&runs, counted] { ++runs; });
        dispatcher->post([&runs] { ++runs; });
        QCOMPARE(counted.use_count(), 2);
        dispatcher.reset();
        QCOMPARE(counted.use_count(), 1); // destroyed, not leaked
        QTest::qWait(60);
        QCOMPARE(runs, 0);
    }

    // Without a posted event the 20 ms timer alone picks a closure up.
    void timerDrainsWithoutEvents() {
        UiDispatcher dispatcher;
        int runs = 0;
        dispatcher.post([&runs] { ++runs; });
        QCoreApplication::removePostedEvents(&dispatcher, QEvent::User);
        QCOMPARE(runs, 0);
        QVERIFY(QTest::qWaitFor([&] { return runs == 1; }, 1000));
        QTest::qWait(60);
        QCOMPARE(runs, 1);
    }
};

QTEST_GUILESS_MAIN(UiDispatcherTest)
#include "tst_uidispatcher.moc"
