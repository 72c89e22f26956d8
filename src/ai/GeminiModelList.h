#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class QByteArray;
class QNetworkAccessManager;
class QNetworkReply;

namespace Tessaryn {

// Asks the Gemini API which models the key may use for content generation (the models list).
// One request at a time; each ends with exactly one finishedCallback.
class GeminiModelList : public QObject {
public:
    static constexpr int DefaultTimeoutMs = 15 * 1000;

    explicit GeminiModelList(QObject* parent = nullptr);
    ~GeminiModelList() override;

    // The API host; from Endpoints by default.
    void setBaseUrl(const QString& url) { baseUrl = url; }
    void setTimeout(int ms) { timeoutMs = ms; }
    void fetch(const QString& apiKey);
    bool isBusy() const { return reply != nullptr; }

    // The Gemini models of a models-list answer that generate content, without the "models/"
    // prefix, in the service's order.
    static QStringList parse(const QByteArray& body);

    std::function<void(bool success, const QStringList& models, const QString& errorMessage)>
        finishedCallback;

private:
    void onFinished();
    void finish(bool success, const QStringList& models, const QString& errorMessage);

    QNetworkAccessManager* network = nullptr;
    QNetworkReply* reply = nullptr;
    QString baseUrl;
    QString key;
    int timeoutMs = DefaultTimeoutMs;
    QTimer timer;
};

} // namespace Tessaryn
