// The pipeline choices in the user's settings: a round trip, and what becomes of stored values
// that are damaged, out of range or name a model that is not offered.
#include "TestSupport.h"
#include "app/AppInfo.h"
#include "app/PipelineSettings.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace Tessaryn;

class PipelineSettingsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;

    static void store(const QVariant& model, const QVariant& speed, const QVariant& pause) {
        QSettings settings(AppInfo::organizationName(), AppInfo::applicationName());
        settings.clear();
        for (const auto& [key, value] : {std::pair{"pipeline/model", model},
                                         {"pipeline/assembly_speed", speed},
                                         {"pipeline/minimum_pause", pause}})
            if (value.isValid())
                settings.setValue(key, value);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        TestSupport::isolateSettings(dir.filePath("settings"));
    }

    void roundTrip() {
        store({}, {}, {});
        PipelineSettings values;
        values.model = "gemini-2.5-flash";
        values.assembly_speed = 4.5;
        values.minimum_pause = 0.75;
        QVERIFY(values.save());
        const PipelineSettings back = PipelineSettings::load();
        QCOMPARE(back.model, QString("gemini-2.5-flash"));
        QCOMPARE(back.assembly_speed, 4.5);
        QCOMPARE(back.minimum_pause, 0.75);
    }

    void storedValuesAreChecked_data() {
        QTest::addColumn<QVariant>("model");
        QTest::addColumn<QVariant>("speed");
        QTest::addColumn<QVariant>("pause");
        QTest::addColumn<QString>("expectedModel");
        QTest::addColumn<double>("expectedSpeed");
        QTest::addColumn<double>("expectedPause");
        QTest::newRow("nothing stored")
            << QVariant() << QVariant() << QVariant() << "gemini-3.8-flash" << 10.0 << 2.0;
        QTest::newRow("limits kept") << QVariant("gemini-3.8-flash") << QVariant(50.0)
                                     << QVariant(0.5) << "gemini-3.8-flash" << 50.0 << 0.5;
        QTest::newRow("text numbers") << QVariant("gemini-2.5-flash") << QVariant("1")
                                      << QVariant("30") << "gemini-2.5-flash" << 1.0 << 30.0;
        QTest::newRow("unknown model") << QVariant("gemini-9-ultra") << QVariant(3.0)
                                       << QVariant(4.0) << "gemini-3.8-flash" << 3.0 << 4.0;
        QTest::newRow("model in other case") << QVariant("Gemini-2.5-Flash") << QVariant(3.0)
                                             << QVariant(4.0) << "gemini-3.8-flash" << 3.0 << 4.0;
        QTest::newRow("not numbers") << QVariant("gemini-2.5-flash") << QVariant("fast")
                                     << QVariant("2,5") << "gemini-2.5-flash" << 10.0 << 2.0;
        QTest::newRow("out of range")
            << QVariant() << QVariant(0.5) << QVariant(30.5) << "gemini-3.8-flash" << 10.0 << 2.0;
        QTest::newRow("zero and negative")
            << QVariant() << QVariant(0) << QVariant(-1) << "gemini-3.8-flash" << 10.0 << 2.0;
        QTest::newRow("nan and infinity") << QVariant() << QVariant("nan") << QVariant("inf")
                                          << "gemini-3.8-flash" << 10.0 << 2.0;
    }

    void storedValuesAreChecked() {
        QFETCH(QVariant, model);
        QFETCH(QVariant, speed);
        QFETCH(QVariant, pause);
        QFETCH(QString, expectedModel);
        QFETCH(double, expectedSpeed);
        QFETCH(double, expectedPause);
        store(model, speed, pause);
        const PipelineSettings loaded = PipelineSettings::load();
        QCOMPARE(loaded.model, expectedModel);
        QCOMPARE(loaded.assembly_speed, expectedSpeed);
        QCOMPARE(loaded.minimum_pause, expectedPause);
    }

    void storedRenderChoicesAreChecked_data() {
        QTest::addColumn<QVariant>("sound");
        QTest::addColumn<QVariant>("mute");
        QTest::addColumn<QVariant>("level");
        QTest::addColumn<QVariant>("dropFrame");
        QTest::addColumn<QList<bool>>("expectedFlags"); // sound, mute, drop-frame
        QTest::addColumn<double>("expectedLevel");

        const QList<bool> defaults{true, false, false};
        QTest::newRow("nothing stored")
            << QVariant() << QVariant() << QVariant() << QVariant() << defaults << -12.0;
        QTest::newRow("all changed") << QVariant(false) << QVariant(true) << QVariant(-40.0)
                                     << QVariant(true) << QList<bool>{false, true, true} << -40.0;
        QTest::newRow("flags as text") << QVariant("false") << QVariant("true") << QVariant("0")
                                       << QVariant("true") << QList<bool>{false, true, true} << 0.0;
        // Neither true nor false: the default, not whatever a conversion makes of it.
        QTest::newRow("damaged") << QVariant("yes") << QVariant(2) << QVariant("loud")
                                 << QVariant("1") << defaults << -12.0;
        QTest::newRow("level louder than the source")
            << QVariant() << QVariant() << QVariant(6.0) << QVariant() << defaults << -12.0;
        QTest::newRow("level below the range")
            << QVariant() << QVariant() << QVariant(-41.0) << QVariant() << defaults << -12.0;
    }

    void storedRenderChoicesAreChecked() {
        QFETCH(QVariant, sound);
        QFETCH(QVariant, mute);
        QFETCH(QVariant, level);
        QFETCH(QVariant, dropFrame);
        QFETCH(QList<bool>, expectedFlags);
        QFETCH(double, expectedLevel);
        store({}, {}, {});
        {
            QSettings settings(AppInfo::organizationName(), AppInfo::applicationName());
            for (const auto& [key, value] : {std::pair{"render/sound", sound},
                                             {"render/mute_sped_sound", mute},
                                             {"render/sped_sound_db", level},
                                             {"markers/drop_frame", dropFrame}})
                if (value.isValid())
                    settings.setValue(key, value);
        }
        const PipelineSettings loaded = PipelineSettings::load();
        QCOMPARE(
            QList<bool>({loaded.sound_enabled, loaded.mute_sped_sound, loaded.drop_frame_markers}),
            expectedFlags);
        QCOMPARE(loaded.sped_sound_db, expectedLevel);
    }

    // Unusable values handed to save() are stored as their defaults, not as given.
    void saveStoresCheckedValues() {
        store({}, {}, {});
        PipelineSettings values;
        values.model = "other-model";
        values.assembly_speed = qQNaN();
        values.minimum_pause = 100.0;
        QVERIFY(values.save());
        QSettings settings(AppInfo::organizationName(), AppInfo::applicationName());
        QCOMPARE(settings.value("pipeline/model").toString(), QString("gemini-3.8-flash"));
        QCOMPARE(settings.value("pipeline/assembly_speed").toDouble(), 10.0);
        QCOMPARE(settings.value("pipeline/minimum_pause").toDouble(), 2.0);
    }

    // The marker EDL's record start is an hour label, 0 to 23.
    void storedRecordStartIsChecked_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("nothing stored") << QVariant() << 1;
        QTest::newRow("hour 0") << QVariant(0) << 0;
        QTest::newRow("hour 23 as text") << QVariant("23") << 23;
        QTest::newRow("past the day") << QVariant(24) << 1;
        QTest::newRow("negative") << QVariant(-1) << 1;
        QTest::newRow("damaged") << QVariant("noon") << 1;
    }

    void storedRecordStartIsChecked() {
        QFETCH(QVariant, stored);
        QFETCH(int, expected);
        store({}, {}, {});
        {
            QSettings settings(AppInfo::organizationName(), AppInfo::applicationName());
            if (stored.isValid())
                settings.setValue("markers/record_start_hour", stored);
        }
        QCOMPARE(PipelineSettings::load().record_start_hour, expected);
    }

    // Progress lines and the copilot name the model in use, whichever it is.
    void displayNames_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("shown");
        QTest::newRow("default") << PipelineSettings::defaultModel() << "Gemini 3.8 Flash";
        QTest::newRow("other") << "gemini-2.5-flash-lite"
                               << "Gemini 2.5 Flash Lite";
        QTest::newRow("padded, doubled dash") << " gemini--pro "
                                              << "Gemini Pro";
    }

    void displayNames() {
        QFETCH(QString, model);
        QFETCH(QString, shown);
        QCOMPARE(PipelineSettings::displayName(model), shown);
    }
};

QTEST_GUILESS_MAIN(PipelineSettingsTest)
#include "tst_pipelinesettings.moc"
