#include "app/Endpoints.h"

#include <QtTest>

using namespace Tessaryn;

class EndpointsTest : public QObject {
    Q_OBJECT

private slots:
    void geminiBaseUrl_data() {
        QTest::addColumn<QByteArray>("variable"); // null: unset
        QTest::addColumn<QString>("expected");
        const QString google = "https://generativelanguage.googleapis.com";
        QTest::newRow("unset") << QByteArray() << google;
        QTest::newRow("blank") << QByteArray("  ") << google;
        QTest::newRow("loopback stand-in")
            << QByteArray("http://127.0.0.1:8080") << "http://127.0.0.1:8080";
        QTest::newRow("trailing slashes dropped")
            << QByteArray(" https://proxy.example/gemini// ") << "https://proxy.example/gemini";
        QTest::newRow("not http") << QByteArray("ftp://files.example") << google;
        QTest::newRow("no host") << QByteArray("localhost") << google;
        QTest::newRow("carries a query") << QByteArray("https://x.example/?key=1") << google;
    }

    void geminiBaseUrl() {
        QFETCH(QByteArray, variable);
        QFETCH(QString, expected);
        if (variable.isNull())
            qunsetenv("TESSARYN_GEMINI_BASE_URL");
        else
            qputenv("TESSARYN_GEMINI_BASE_URL", variable);
        QCOMPARE(Endpoints::geminiBaseUrl(), expected);
        qunsetenv("TESSARYN_GEMINI_BASE_URL");
    }
};

QTEST_GUILESS_MAIN(EndpointsTest)
#include "tst_endpoints.moc"
