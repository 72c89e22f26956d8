#pragma once

// A minimal HTTP/1.1 server on 127.0.0.1 standing in for the Gemini API: it records every
// request and answers them in turn from a queue of canned answers. DELETE requests (the
// client's clean-up) are recorded and answered apart from the queue.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

// Runs a real event loop until the condition holds. QTest::qWaitFor sleeps between its event
// rounds, which starves the upload: Qt feeds the request body from this thread chunk by chunk.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000) {
    QEventLoop loop;
    QTimer check;
    const QDeadlineTimer deadline(timeoutMs);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (condition() || deadline.hasExpired())
            loop.quit();
    });
    check.start(2);
    if (!condition())
        loop.exec();
    return condition();
}

struct RecordedRequest {
    QByteArray method;
    QByteArray target;                     // path and query
    QHash<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;

    QByteArray path() const { return target.left(target.indexOf('?')); }
};

struct CannedAnswer {
    int status = 200;
    QByteArray body;
    bool hold = false; // never answer: the request stays open until the client gives up
    // Extra headers; "$BASE" in a value stands for the stand-in's base URL.
    QList<QPair<QByteArray, QByteArray>> headers = {};
    bool cut = false; // the connection closes in the middle of the status line

    // The answer to an upload's start request: where the bytes go.
    static CannedAnswer uploadStarted() {
        return {200, "", false, {{"X-Goog-Upload-URL", "$BASE/upload/v1beta/files?upload_id=up1"}}};
    }
};
Q_DECLARE_METATYPE(CannedAnswer)

class GeminiStandIn : public QObject {
public:
    QList<RecordedRequest> requests;
    QList<CannedAnswer> answers;
    CannedAnswer whenEmpty{500, "{\"error\":\"no answer queued\"}"};
    CannedAnswer deleteAnswer{200, "{}"};
    // Chunks sent at this offset lose their connection, however often Qt itself sends them
    // again, until the client asks for the upload's status; empty: none.
    QByteArray cutChunksAt;

    // A whole successful analysis of a clip that fits in one chunk: start, the bytes (answered
    // with the file), generateContent.
    static QList<CannedAnswer> analysis(const QByteArray& fileAnswer,
                                        const QByteArray& generateAnswer) {
        return {CannedAnswer::uploadStarted(), {200, fileAnswer}, {200, generateAnswer}};
    }
    int count(const QByteArray& method) const {
        int n = 0;
        for (const RecordedRequest& r : requests)
            n += r.method == method ? 1 : 0;
        return n;
    }

    bool start() { return server.listen(QHostAddress::LocalHost, 0); }
    QString baseUrl() const {
        return QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort());
    }

    GeminiStandIn() {
        QObject::connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                socket->setParent(this);
                QObject::connect(socket, &QTcpSocket::readyRead, this,
                                 [this, socket] { serve(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                    connections.remove(socket);
                    socket->deleteLater();
                });
            }
        });
    }

private:
    struct Connection {
        QByteArray buffer;
        RecordedRequest request;
        qsizetype bodyLength = -1; // -1 while the headers are still arriving
    };
    QTcpServer server;
    QHash<QTcpSocket*, Connection> connections;

    static QByteArray reason(int status) {
        switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 408:
            return "Request Timeout";
        case 429:
            return "Too Many Requests";
        case 503:
            return "Service Unavailable";
        default:
            return "Internal Server Error";
        }
    }

    // Headers are parsed once; the body is then only counted until it is complete.
    void serve(QTcpSocket* socket) {
        Connection& c = connections[socket];
        c.buffer += socket->readAll();
        for (;;) {
            if (c.bodyLength < 0) {
                const qsizetype headerEnd = c.buffer.indexOf("\r\n\r\n");
                if (headerEnd < 0)
                    return;
                const QList<QByteArray> lines = c.buffer.left(headerEnd).split('\n');
                c.request = RecordedRequest();
                const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
                c.request.method = first.value(0);
                c.request.target = first.value(1);
                for (qsizetype i = 1; i < lines.size(); ++i) {
                    const qsizetype colon = lines[i].indexOf(':');
                    if (colon > 0)
                        c.request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                                 lines[i].mid(colon + 1).trimmed());
                }
                c.bodyLength = c.request.headers.value("content-length", "0").toLongLong();
                c.buffer.remove(0, headerEnd + 4);
            }
            if (c.buffer.size() < c.bodyLength)
                return;
            c.request.body = c.buffer.left(c.bodyLength);
            c.buffer.remove(0, c.bodyLength);
            c.bodyLength = -1;
            requests.append(c.request);
            answer(socket);
            if (socket->state() != QAbstractSocket::ConnectedState)
                return; // cut: the connection's record may be gone
        }
    }

    bool cutsChunk(const RecordedRequest& request) {
        const QByteArray command = request.headers.value("x-goog-upload-command");
        if (command == "query")
            cutChunksAt.clear();
        return !cutChunksAt.isEmpty() && command.startsWith("upload") &&
               request.headers.value("x-goog-upload-offset") == cutChunksAt;
    }

    CannedAnswer nextAnswer() {
        if (cutsChunk(requests.last()))
            return CannedAnswer{200, "", false, {}, true};
        if (requests.last().method == "DELETE")
            return deleteAnswer;
        return answers.isEmpty() ? whenEmpty : answers.takeFirst();
    }

    void answer(QTcpSocket* socket) {
        const CannedAnswer answer = nextAnswer();
        if (answer.hold)
            return;
        if (answer.cut) {
            socket->write("HTTP/1.1 2");
            socket->flush();
            socket->disconnectFromHost();
            return;
        }
        QByteArray extra;
        for (const auto& header : answer.headers)
            extra += header.first + ": " +
                     QByteArray(header.second).replace("$BASE", baseUrl().toUtf8()) + "\r\n";
        socket->write("HTTP/1.1 " + QByteArray::number(answer.status) + ' ' +
                      reason(answer.status) + "\r\n" + extra +
                      "Content-Type: application/json\r\nContent-Length: " +
                      QByteArray::number(answer.body.size()) + "\r\n\r\n" + answer.body);
    }
};
