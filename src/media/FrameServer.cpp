#include "media/FrameServer.h"

#include <QThread>

#include <algorithm>

namespace Tessaryn {

FrameServer::FrameServer(QObject* parent) : QObject(parent) {
    thread = new QThread();
    worker = new QObject();
    worker->moveToThread(thread);
    decoder = new VideoFrameDecoder();
    QObject::connect(thread, &QThread::finished, worker, &QObject::deleteLater);
    thread->start();
}

FrameServer::~FrameServer() {
    // The decoder is only touched by work queued on the thread, which ends before it goes.
    thread->quit();
    thread->wait();
    delete decoder;
    delete thread;
}

void FrameServer::open(const QString& path) {
    const int forGeneration = ++generation;
    hasWaiting = false;
    QMetaObject::invokeMethod(
        worker,
        [this, path, forGeneration] {
            QString error;
            const bool ok = decoder->open(path, &error);
            const VideoFrameDecoder::Facts facts = decoder->facts();
            auto opened = std::make_shared<AudioSampleDecoder>();
            QString soundError;
            if (!ok || !facts.hasAudio || !opened->open(path, &soundError))
                opened.reset();
            QMetaObject::invokeMethod(
                this,
                [this, forGeneration, ok, facts, error, opened] {
                    if (forGeneration != generation)
                        return;
                    sound = opened;
                    if (openedCallback)
                        openedCallback(ok, facts, error);
                    sound.reset(); // not taken: not wanted
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void FrameServer::setMaxSize(const QSize& size) {
    QMetaObject::invokeMethod(
        worker, [this, size] { decoder->setMaxSize(size); }, Qt::QueuedConnection);
}

void FrameServer::request(double seconds) {
    if (inFlight) {
        hasWaiting = true;
        waitingSeconds = seconds;
        return;
    }
    startDecode(seconds);
}

void FrameServer::startDecode(double seconds) {
    inFlight = true;
    ++started;
    peakInFlight = std::max(peakInFlight, ++inFlightCount);
    const int forGeneration = generation;
    QMetaObject::invokeMethod(
        worker,
        [this, seconds, forGeneration] {
            QImage image;
            double frameSeconds = 0.0;
            QString error;
            const bool ok = decoder->frameAt(seconds, &image, &frameSeconds, &error);
            QMetaObject::invokeMethod(
                this,
                [this, forGeneration, ok, image, frameSeconds, error] {
                    onDecoded(forGeneration, ok, image, frameSeconds, error);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void FrameServer::onDecoded(int forGeneration, bool ok, const QImage& image, double frameSeconds,
                            const QString& error) {
    inFlight = false;
    --inFlightCount;
    if (forGeneration == generation) {
        if (ok && frameCallback)
            frameCallback(image, frameSeconds);
        else if (!ok && failedCallback)
            failedCallback(error);
    }
    // The callback may have asked for a newer frame already.
    if (hasWaiting && !inFlight) {
        hasWaiting = false;
        startDecode(waitingSeconds);
    }
}

} // namespace Tessaryn
