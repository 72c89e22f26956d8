// The settings dialog on a machine without a keyring (the key goes to the private file store):
// its fields, the key status naming where the key comes from, saving the key and the pipeline
// values, failures that keep the dialog open, and the ffmpeg check.
#include "ModalAnswerer.h"
#include "TestSupport.h"
#include "ai/GeminiStandIn.h"
#include "app/AppInfo.h"
#include "app/Credentials.h"
#include "app/FileSecretStore.h"
#include "app/PipelineSettings.h"
#include "media/FFmpegEngine.h"
#include "ui/SettingsDialog.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace Tessaryn;

namespace {

struct Dialog {
    SettingsDialog dialog;
    QLineEdit* key = dialog.findChild<QLineEdit*>();
    QComboBox* model = dialog.findChild<QComboBox*>();
    QDoubleSpinBox* speed = dialog.findChildren<QDoubleSpinBox*>().value(0);
    QDoubleSpinBox* pause = dialog.findChildren<QDoubleSpinBox*>().value(1);

    QPushButton* button(const QString& text) const {
        for (QPushButton* b : dialog.findChildren<QPushButton*>())
            if (b->text() == text)
                return b;
        return nullptr;
    }
    QLabel* label(const QString& prefix) const {
        for (QLabel* l : dialog.findChildren<QLabel*>())
            if (l->text().startsWith(prefix))
                return l;
        return nullptr;
    }
    bool accepted() const { return dialog.result() == QDialog::Accepted; }
    // Clicks Save Settings, answering any box with Ok; returns the boxes' titles.
    QStringList save() {
        ModalAnswerer answerer([](QWidget* m) { ModalAnswerer::click(m, QMessageBox::Ok); });
        button("Save Settings")->click();
        return answerer.titles;
    }
};

QString storedKey() {
    const auto blob = FileSecretStore(FileSecretStore::defaultPath()).read("Tessaryn/GeminiApiKey");
    return blob ? QString::fromUtf8(*blob) : QString();
}

const QString Green = "color: #2ECC71; font-size: 11px;";
const QString Red = "color: #E74C3C; font-size: 11px;";
const QString Bold = " font-weight: 600;";

} // namespace

class SettingsDialogTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir scratch;
    QByteArray path = qgetenv("PATH");

private slots:
    void initTestCase() {
        QVERIFY(scratch.isValid());
        TestSupport::isolateSettings(scratch.filePath("settings"));
        // No keyring is reachable and every file the key store uses lies in the scratch folder.
        qputenv("HOME", scratch.filePath("home").toUtf8());
        qputenv("XDG_CONFIG_HOME", scratch.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", scratch.filePath("data").toUtf8());
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + scratch.filePath("no-bus").toUtf8());
        QVERIFY(QDir().mkpath(scratch.filePath("work")));
        QVERIFY(QDir::setCurrent(scratch.filePath("work")));
        if (!Credentials::readFromDotEnvFiles(Credentials::dotEnvCandidates()).isEmpty())
            QSKIP("a .env file beside the test executable holds a key");
        QCOMPARE(Credentials::getSecretStoreKind(), Credentials::Source::File);
        QVERIFY(FileSecretStore::defaultPath().startsWith(scratch.path()));
    }

    void init() {
        qunsetenv("GEMINI_API_KEY");
        qputenv("PATH", path);
        QFile::remove(FileSecretStore::defaultPath());
        QFile::remove(".env");
        QSettings(AppInfo::organizationName(), AppInfo::applicationName()).clear();
    }

    void initialFields() {
        Dialog d;
        QCOMPARE(d.dialog.windowTitle(), QString("Tessaryn — Settings & Credentials"));
        QVERIFY(d.label("Gemini API Key (Stored in a private local file; no system keyring "
                        "available):"));
        QStringList groups;
        for (QGroupBox* group : d.dialog.findChildren<QGroupBox*>())
            groups << group->title();
        // A single "&" would mark a shortcut and vanish from the title.
        QCOMPARE(groups,
                 QStringList({"GOOGLE GEMINI CREDENTIAL VAULT", "AI PIPELINE && SPEED-RAMPING",
                              "LOCAL ANALYSIS && SOUND", "FFMPEG VIDEO ENGINE"}));
        QCOMPARE(d.key->text(), QString());
        QCOMPARE(d.key->echoMode(), QLineEdit::Password);
        QVERIFY(d.button("Show"));
        QCOMPARE(d.model->count(), 2);
        QCOMPARE(d.model->itemText(0), QString("gemini-3.8-flash (Recommended)"));
        QCOMPARE(d.model->itemText(1), QString("gemini-2.5-flash"));
        QCOMPARE(d.dialog.selectedModel(), QString("gemini-3.8-flash"));
        for (auto [spin, min, max, value, suffix] :
             {std::tuple{d.speed, 1.0, 50.0, 10.0, "x"}, {d.pause, 0.5, 30.0, 2.0, " s"}}) {
            QCOMPARE(spin->minimum(), min);
            QCOMPARE(spin->maximum(), max);
            QCOMPARE(spin->value(), value);
            QCOMPARE(spin->suffix(), QString(suffix));
            QCOMPARE(spin->decimals(), 2);
            QCOMPARE(spin->singleStep(), 1.0);
        }
        QCOMPARE(d.dialog.speedFactor(), 10.0);
        QCOMPARE(d.dialog.minPauseSeconds(), 2.0);
        QPushButton* save = d.button("Save Settings");
        QVERIFY(save->isDefault());
        QCOMPARE(save->objectName(), QString("goldButton"));
    }

    void keyStatusNamesItsSource_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("status");
        QTest::newRow("none") << ""
                              << ""
                              << "● Status: No API Key Configured";
        QTest::newRow("file store")
            << "file"
            << "file-key"
            << "● Status: Stored in a local file (no system keyring available)";
        QTest::newRow("environment")
            << "env"
            << "env-key"
            << "● Status: Read from the GEMINI_API_KEY environment variable";
        QTest::newRow(".env file") << "dotenv"
                                   << "dot-key"
                                   << "● Status: Read from a .env file";
    }

    void keyStatusNamesItsSource() {
        QFETCH(QString, source);
        QFETCH(QString, key);
        QFETCH(QString, status);
        if (source == "file")
            QVERIFY(Credentials::setApiKey(key));
        else if (source == "env")
            qputenv("GEMINI_API_KEY", key.toUtf8());
        else if (source == "dotenv")
            QVERIFY(TestSupport::writeFile(".env", "GEMINI_API_KEY=" + key.toUtf8() + "\n"));
        Dialog d;
        QCOMPARE(d.key->text(), key);
        QLabel* label = d.label("● Status:");
        QCOMPARE(label->text(), status);
        QCOMPARE(label->styleSheet(), (key.isEmpty() ? Red : Green) + Bold);
    }

    void showHideToggles() {
        Dialog d;
        d.button("Show")->click();
        QCOMPARE(d.key->echoMode(), QLineEdit::Normal);
        d.button("Hide")->click();
        QCOMPARE(d.key->echoMode(), QLineEdit::Password);
        QVERIFY(d.button("Show"));
    }

    void savingTheKey_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("typed"); // "=" leaves the field as it opened
        QTest::addColumn<QString>("stored");
        QTest::newRow("blank stores nothing") << ""
                                              << "   "
                                              << "";
        QTest::newRow("blank keeps the stored key") << "file"
                                                    << "  "
                                                    << "old-key";
        QTest::newRow("new key, trimmed") << ""
                                          << "  new-key  "
                                          << "new-key";
        QTest::newRow("replaces the stored key") << "file"
                                                 << "new-key"
                                                 << "new-key";
        QTest::newRow("environment key not copied") << "env"
                                                    << "="
                                                    << "";
        QTest::newRow("typed over the environment key") << "env"
                                                        << "mine"
                                                        << "mine";
    }

    void savingTheKey() {
        QFETCH(QString, source);
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        if (source == "file")
            QVERIFY(Credentials::setApiKey("old-key"));
        else if (source == "env")
            qputenv("GEMINI_API_KEY", "env-key");
        Dialog d;
        if (typed != "=")
            d.key->setText(typed);
        QCOMPARE(d.save(), QStringList());
        QVERIFY(d.accepted());
        QCOMPARE(storedKey(), stored);
    }

    // The store refuses a damaged file rather than replace entries it could not read.
    void failedKeySaveKeepsTheDialogOpen() {
        const QByteArray damaged = "{damaged";
        QVERIFY(TestSupport::writeFile(FileSecretStore::defaultPath(), damaged));
        Dialog d;
        d.key->setText("new-key");
        d.speed->setValue(5.0);
        ModalAnswerer answerer([](QWidget* m) { ModalAnswerer::click(m, QMessageBox::Ok); });
        d.button("Save Settings")->click();
        QCOMPARE(answerer.titles, QStringList{"API Key Not Saved"});
        QVERIFY(answerer.texts.value(0).contains("the local credentials file"));
        QVERIFY(!answerer.texts.value(0).contains("new-key"));
        QVERIFY(!d.accepted());
        QCOMPARE(TestSupport::readFile(FileSecretStore::defaultPath()), damaged);
        QCOMPARE(PipelineSettings::load().assembly_speed, 10.0);

        QVERIFY(QFile::remove(FileSecretStore::defaultPath()));
        QCOMPARE(d.save(), QStringList());
        QVERIFY(d.accepted());
        QCOMPARE(storedKey(), QString("new-key"));
        QCOMPARE(PipelineSettings::load().assembly_speed, 5.0);
    }

    void failedSettingsWriteKeepsTheDialogOpen() {
        // A file where the settings folder should be: nothing can be written there.
        const QString blocked = scratch.filePath("blocked");
        QVERIFY(TestSupport::writeFile(blocked, "x"));
        TestSupport::isolateSettings(blocked);
        Dialog d;
        d.speed->setValue(6.0);
        const QStringList titles = d.save();
        TestSupport::isolateSettings(scratch.filePath("settings"));
        QCOMPARE(titles, QStringList{"Settings Not Saved"});
        QVERIFY(!d.accepted());
    }

    void pipelineValuesPersist() {
        {
            Dialog d;
            d.model->setCurrentIndex(1);
            d.speed->setValue(4.5);
            d.pause->setValue(7.25);
            QCOMPARE(d.dialog.selectedModel(), QString("gemini-2.5-flash"));
            QCOMPARE(d.dialog.speedFactor(), 4.5);
            QCOMPARE(d.dialog.minPauseSeconds(), 7.25);
            d.button("Cancel")->click();
            QCOMPARE(d.dialog.result(), int(QDialog::Rejected));
        }
        {
            Dialog d; // cancelled choices are not kept
            QCOMPARE(d.dialog.selectedModel(), QString("gemini-3.8-flash"));
            QCOMPARE(d.dialog.speedFactor(), 10.0);
            d.model->setCurrentIndex(1);
            d.speed->setValue(4.5);
            d.pause->setValue(7.25);
            QCOMPARE(d.save(), QStringList());
            QVERIFY(d.accepted());
        }
        const PipelineSettings saved = PipelineSettings::load();
        QCOMPARE(saved.model, QString("gemini-2.5-flash"));
        QCOMPARE(saved.assembly_speed, 4.5);
        QCOMPARE(saved.minimum_pause, 7.25);
        Dialog reopened;
        QCOMPARE(reopened.dialog.selectedModel(), QString("gemini-2.5-flash"));
        QCOMPARE(reopened.dialog.speedFactor(), 4.5);
        QCOMPARE(reopened.dialog.minPauseSeconds(), 7.25);
    }

    void verifyFfmpeg_data() {
        QTest::addColumn<bool>("onPath");
        QTest::newRow("on the PATH") << true;
        QTest::newRow("missing") << false;
    }

    void verifyFfmpeg() {
        QFETCH(bool, onPath);
        if (!onPath)
            qputenv("PATH", scratch.filePath("empty").toUtf8());
        QCOMPARE(FFmpegEngine::isAvailable(), onPath);
        Dialog d;
        const QString ready = "FFmpeg Ready: " + FFmpegEngine::findFFmpeg();
        QLabel* label = d.label(onPath ? ready : "FFmpeg not detected in PATH");
        QVERIFY(label);
        QCOMPARE(label->styleSheet(), (onPath ? Green : Red) + Bold);
        QVERIFY(label->toolTip().contains(FFmpegEngine::findFFmpeg()));

        ModalAnswerer answerer([](QWidget* m) { ModalAnswerer::click(m, QMessageBox::Ok); });
        d.button("Verify")->click();
        QCOMPARE(answerer.titles, QStringList{onPath ? "FFmpeg Status" : "FFmpeg Missing"});
        QCOMPARE(
            answerer.texts.value(0),
            onPath
                ? QString("FFmpeg video engine verified and operational.")
                : QString("FFmpeg executable could not be found in PATH or standard directories."));
        QCOMPARE(label->text(), onPath ? ready : QString("FFmpeg not found"));
        QCOMPARE(label->styleSheet(), onPath ? Green : Red);
        QVERIFY(!d.accepted());
    }

    // The models the key can use, asked of the service; a refusal leaves the fixed list.
    void listsTheModelsTheKeyCanUse_data() {
        QTest::addColumn<CannedAnswer>("answer");
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<QString>("message");
        const auto model = [](const char* name, const char* method) {
            return QJsonObject{{"name", QString("models/") + name},
                               {"supportedGenerationMethods", QJsonArray{method}}};
        };
        const QJsonObject listed{
            {"models", QJsonArray{model("gemini-2.5-pro", "generateContent"),
                                  model("text-embedding-004", "embedContent"),
                                  model("gemini-embedding-001", "embedContent"),
                                  model("gemini-2.5-flash-lite", "generateContent")}}};
        QTest::newRow("listed") << CannedAnswer{200, QJsonDocument(listed).toJson()}
                                << QStringList{"gemini-3.8-flash", "gemini-2.5-pro",
                                               "gemini-2.5-flash-lite"}
                                << "2 models are available to this key.";
        QTest::newRow("key refused")
            << CannedAnswer{400, R"({"error":{"code":400,"message":"API key not valid.",)"
                                 R"("status":"INVALID_ARGUMENT"}})"}
            << QStringList{"gemini-3.8-flash", "gemini-2.5-flash"}
            << "Could not list the models: HTTP 400 INVALID_ARGUMENT: API key not valid. Check "
               "the Gemini API key in Settings. The list above is unchanged.";
    }

    void listsTheModelsTheKeyCanUse() {
        QFETCH(CannedAnswer, answer);
        QFETCH(QStringList, offered);
        QFETCH(QString, message);
        GeminiStandIn server;
        QVERIFY(server.start());
        server.answers = {answer};
        qputenv("TESSARYN_GEMINI_BASE_URL", server.baseUrl().toUtf8());
        Dialog d;
        qunsetenv("TESSARYN_GEMINI_BASE_URL");
        d.key->setText("  listing-key ");
        d.button("List Models for This Key")->click();
        QVERIFY(waitUntil([&] { return d.label("Asking") == nullptr; }));
        QVERIFY2(d.label(message), qPrintable(message));
        QStringList items;
        for (int i = 0; i < d.model->count(); ++i)
            items << d.model->itemData(i).toString();
        PipelineSettings::setOfferedModels({});
        QCOMPARE(items, offered);
        QCOMPARE(d.model->currentData().toString(), PipelineSettings::defaultModel());
        QCOMPARE(server.requests.size(), 1);
        QCOMPARE(server.requests[0].method, "GET");
        QCOMPARE(server.requests[0].target, "/v1beta/models?pageSize=1000");
        QCOMPARE(server.requests[0].headers.value("x-goog-api-key"), "listing-key");
    }
};

QTEST_MAIN(SettingsDialogTest)
#include "tst_settingsdialog.moc"
