// Uploads sparse clips of 64 MiB and 1 GiB to a loopback stand-in for the Gemini API and prints
// the time taken and this process's peak memory after each: the clip is streamed from its
// file, so the peak must not grow with its size (target: under 100 MB).
#include "ai/GeminiClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <cstdio>

#ifndef _WIN32
#include <sys/resource.h>
#endif

using namespace Tessaryn;

namespace {

double peakMegabytes() {
#ifndef _WIN32
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0; // kilobytes on Linux
#else
    return -1.0;
#endif
}

// Counts and drops request bodies; speaks the resumable upload (start, chunks, finalize with an
// active file), answers the analysis with a one-segment timeline and the clean-up with nothing.
class DiscardingServer {
public:
    qint64 bodyBytes = 0;

    bool start() {
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                socket->setParent(&server);
                QObject::connect(socket, &QTcpSocket::readyRead, socket,
                                 [this, socket] { serve(socket); });
            }
        });
        return server.listen(QHostAddress::LocalHost, 0);
    }
    QString baseUrl() const {
        return QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort());
    }

private:
    QTcpServer server;
    QByteArray header;
    QByteArray request;    // the current request's head, lower case
    qint64 remaining = -1; // body bytes still to come; -1 while reading headers

    void serve(QTcpSocket* socket) {
        while (socket->bytesAvailable() > 0) {
            if (remaining < 0) {
                header += socket->read(4096);
                const qsizetype end = header.indexOf("\r\n\r\n");
                if (end < 0)
                    continue;
                request = header.left(end).toLower();
                // At a line start: x-goog-upload-header-content-length names the file's size.
                const qsizetype at = request.indexOf("\r\ncontent-length:");
                remaining = at < 0 ? 0
                                   : header.mid(at + 17, header.indexOf("\r\n", at + 2) - at - 17)
                                         .trimmed()
                                         .toLongLong();
                const QByteArray early = header.mid(end + 4);
                header.clear();
                remaining -= early.size();
                bodyBytes += early.size();
            } else {
                const QByteArray chunk = socket->read(qMin<qint64>(remaining, 1 << 20));
                remaining -= chunk.size();
                bodyBytes += chunk.size();
            }
            if (remaining == 0) {
                remaining = -1;
                answer(socket);
            }
        }
    }

    void answer(QTcpSocket* socket) {
        QByteArray extra;
        QByteArray body;
        if (request.contains("x-goog-upload-command: start"))
            extra = "X-Goog-Upload-URL: " + baseUrl().toUtf8() + "/upload?upload_id=b\r\n";
        else if (request.contains("x-goog-upload-command: upload, finalize"))
            body = R"({"file":{"name":"files/bench","uri":"u","state":"ACTIVE"}})";
        else if (request.contains(":generatecontent"))
            body = R"({"candidates":[{"content":{"parts":[{"text":)"
                   R"("{\"segments\":[{\"source_start\":0,\"source_end\":9}]}"}]}}]})";
        socket->write("HTTP/1.1 200 OK\r\n" + extra +
                      "Content-Type: application/json\r\nContent-Length: " +
                      QByteArray::number(body.size()) + "\r\n\r\n" + body);
    }
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    DiscardingServer server;
    if (!dir.isValid() || !server.start())
        return 1;
    GeminiClient client;
    client.setBaseUrl(server.baseUrl());

    std::printf("peak memory before any upload: %.1f MB\n", peakMegabytes());
    for (const qint64 size : {qint64(64) << 20, qint64(1) << 30}) {
        const QString clip = dir.filePath(QStringLiteral("clip_%1.mp4").arg(size));
        QFile file(clip);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(size)) // sparse: no disk used
            return 1;
        file.close();

        QEventLoop loop;
        bool ok = false;
        QString message;
        client.finishedCallback = [&](bool success, const TimelineData&, const QString& text) {
            ok = success;
            message = text;
            loop.quit();
        };
        const qint64 before = server.bodyBytes;
        QElapsedTimer timer;
        timer.start();
        client.analyzeVideo(clip, QStringLiteral("bench-key"), QString());
        loop.exec();
        const double seconds = timer.elapsed() / 1000.0;
        const qint64 sent = server.bodyBytes - before;
        if (!ok) {
            std::printf("upload failed: %s\n", qPrintable(message));
            return 1;
        }
        std::printf("clip %5lld MiB: uploaded in %.2f s (%.0f MiB/s), peak memory %.1f MB\n",
                    static_cast<long long>(size >> 20), seconds, (sent >> 20) / seconds,
                    peakMegabytes());
        QFile::remove(clip);
    }
    return 0;
}
