#pragma once

// A minimal HTTP/1.1 server on 127.0.0.1 standing in for the Gemini API: it records every
// request and answers them in turn from a queue of canned answers.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHash>
#include <QHostAddress>
#include <QList>
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
};
Q_DECLARE_METATYPE(CannedAnswer)

class GeminiStandIn : public QObject {
public:
    QList<RecordedRequest> requests;
    QList<CannedAnswer> answers;
    CannedAnswer whenEmpty{500, "{\"error\":\"no answer queued\"}"};

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
        case 404:
            return "Not Found";
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
        }
    }

    void answer(QTcpSocket* socket) {
        const CannedAnswer answer = answers.isEmpty() ? whenEmpty : answers.takeFirst();
        if (answer.hold)
            return;
        socket->write("HTTP/1.1 " + QByteArray::number(answer.status) + ' ' +
                      reason(answer.status) +
                      "\r\nContent-Type: application/json\r\nContent-Length: " +
                      QByteArray::number(answer.body.size()) + "\r\n\r\n" + answer.body);
    }
};
