#include "app/Theme.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include <functional>
#include <memory>

using Tessaryn::Theme;

namespace {

using WidgetFactory = std::function<QWidget*()>;

bool near(const QColor& a, const QColor& b, int tolerance) {
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
}

// Renders the widget at a fixed size and returns its colour at the centre.
QColor centreColour(QWidget* widget, QSize size = QSize(200, 160)) {
    widget->resize(size);
    const QImage image = widget->grab().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

int countNear(const QImage& image, const QColor& colour, int tolerance) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (near(image.pixelColor(x, y), colour, tolerance))
                ++count;
    return count;
}

QPushButton* button(const QString& name, bool enabled = true, const QString& localSheet = {}) {
    auto* b = new QPushButton;
    b->setObjectName(name);
    b->setEnabled(enabled);
    b->setStyleSheet(localSheet);
    return b;
}

QProgressBar* progress(int value) {
    auto* bar = new QProgressBar;
    bar->setValue(value);
    bar->setTextVisible(false);
    return bar;
}

} // namespace

Q_DECLARE_METATYPE(WidgetFactory)

class TestTheme : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Theme::applyTheme(*qApp); }
    void cleanup() { qApp->setStyleSheet(Theme::getStyleSheet()); }

    void applicationFont() {
        const QFont font = QApplication::font();
        QCOMPARE(font.family(), QStringLiteral("Segoe UI"));
        QCOMPARE(font.pointSize(), 10);
        QCOMPARE(font.styleHint(), QFont::SansSerif);
        QCOMPARE(font.weight(), QFont::Normal);
        QVERIFY(!font.italic());
        QCOMPARE(qApp->styleSheet(), Theme::getStyleSheet());
    }

    void surfaceColour_data() {
        QTest::addColumn<WidgetFactory>("factory");
        QTest::addColumn<QColor>("expected");
        QTest::addColumn<int>("tolerance"); // gradients may round by a level or two
        auto row = [](const char* name, QRgb rgb, int tolerance, WidgetFactory factory) {
            QTest::newRow(name) << factory << QColor(rgb) << tolerance;
        };
        row("button", 0x222631, 0, [] { return button({}); });
        row("disabled button", 0x181A20, 0, [] { return button({}, false); });
        // Centre of the diagonal gradient #D4AF37 -> #AA8520.
        row("gold button", 0xBF9A2B, 3, [] { return button("goldButton"); });
        // A disabled accent button must look disabled, not like an action that can be taken.
        row("disabled gold button", 0x181A20, 0, [] { return button("goldButton", false); });
        row("other name", 0x222631, 0, [] { return button("goldButton2"); });
        row("local sheet wins", 0x3366AA, 0,
            [] { return button("goldButton", true, "background-color: #3366AA;"); });
        row("main window", 0x121316, 0, [] { return new QMainWindow; });
        row("group box", 0x16181F, 0, [] { return new QGroupBox; });
        row("tree", 0x15171E, 0, [] { return new QTreeWidget; });
        // The file dialog's own lists are plain views, not the widget classes.
        row("list view", 0x15171E, 0, [] { return new QListView; });
        row("tree view", 0x15171E, 0, [] { return new QTreeView; });
        row("line edit", 0x14161D, 0, [] { return new QLineEdit; });
        row("tab pane", 0x15171D, 0, [] {
            auto* tabs = new QTabWidget;
            tabs->addTab(new QWidget, QStringLiteral("Tab"));
            tabs->show(); // the pane is laid out only once the widget is visible
            return tabs;
        });
        row("menu bar", 0x14161D, 0, [] { return new QMenuBar; });
        row("menu", 0x1A1D25, 0, [] { return new QMenu; });
        row("status bar", 0x0E0F13, 0, [] { return new QStatusBar; });
        row("empty progress", 0x16181E, 0, [] { return progress(0); });
        // Centre of the horizontal chunk gradient #B89327 -> #E2BE4C.
        row("full progress", 0xCDA839, 3, [] { return progress(100); });
        row("scroll track", 0x14161C, 0, [] {
            // The handle sits at the start; the centre shows the bare track.
            auto* bar = new QScrollBar(Qt::Horizontal);
            bar->setRange(0, 1000);
            bar->setPageStep(10);
            return bar;
        });
    }

    void surfaceColour() {
        QFETCH(WidgetFactory, factory);
        QFETCH(QColor, expected);
        QFETCH(int, tolerance);
        std::unique_ptr<QWidget> widget(factory());
        const QColor actual = centreColour(widget.get());
        QVERIFY2(near(actual, expected, tolerance),
                 qPrintable(actual.name() + " != " + expected.name()));
    }

    void goldGradientRunsLightToDark() {
        std::unique_ptr<QPushButton> gold(button("goldButton"));
        gold->resize(120, 40);
        const QImage image = gold->grab().toImage();
        const QColor topLeft = image.pixelColor(6, 6);
        const QColor bottomRight = image.pixelColor(113, 33);
        QVERIFY(topLeft.red() > bottomRight.red() + 20);
        for (const QColor& c : {topLeft, bottomRight})
            QVERIFY(c.red() > c.green() && c.green() > c.blue());
    }

    void labelTextColour_data() {
        QTest::addColumn<QString>("localSheet");
        QTest::addColumn<QColor>("textColour");
        QTest::addColumn<QColor>("absentColour");
        QTest::newRow("application sheet") << QString() << QColor(0xDDE2EC) << QColor(0xFF0000);
        QTest::newRow("local sheet wins")
            << "color: #FF0000;" << QColor(0xFF0000) << QColor(0xDDE2EC);
    }

    void labelTextColour() {
        QFETCH(QString, localSheet);
        QFETCH(QColor, textColour);
        QFETCH(QColor, absentColour);
        QLabel label(QStringLiteral("MMMM"));
        // A solid local background keeps glyph edges far from either text colour.
        label.setStyleSheet("background-color: #000000; font-size: 40px; font-weight: bold; " +
                            localSheet);
        label.resize(200, 60);
        const QImage image = label.grab().toImage();
        QCOMPARE(image.pixelColor(1, 1), QColor(Qt::black));
        QVERIFY(countNear(image, textColour, 0) > 50);
        QCOMPARE(countNear(image, absentColour, 40), 0);
    }

    void inputFocus_data() {
        QTest::addColumn<WidgetFactory>("factory");
        QTest::newRow("line edit") << WidgetFactory([] { return new QLineEdit; });
        QTest::newRow("combo box") << WidgetFactory([] { return new QComboBox; });
        QTest::newRow("spin box") << WidgetFactory([] { return new QSpinBox; });
    }

    // Inputs sit on #14161D and brighten to #181B24 while they hold the focus.
    void inputFocus() {
        QFETCH(WidgetFactory, factory);
        std::unique_ptr<QWidget> widget(factory());
        // Away from the pointer, so the combo box's hover look does not interfere.
        widget->setGeometry(QCursor::pos().x() + 100, QCursor::pos().y() + 100, 200, 60);
        widget->show();
        widget->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(widget.get()));
        widget->clearFocus();
        QVERIFY(!widget->hasFocus());
        QVERIFY(!widget->underMouse());
        QCOMPARE(centreColour(widget.get(), QSize(200, 60)), QColor(0x14161D));
        widget->setFocus();
        QVERIFY(widget->hasFocus());
        QCOMPARE(centreColour(widget.get(), QSize(200, 60)), QColor(0x181B24));
    }

    void sheetParses_data() {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<bool>("parses");
        QTest::newRow("theme") << Theme::getStyleSheet() << true;
        // Guards the check itself: a broken sheet must be reported.
        QTest::newRow("broken") << QStringLiteral("QWidget { color: #FFF; ") << false;
    }

    // Polishes and renders one widget of every themed type under the sheet.
    void sheetParses() {
        QFETCH(QString, sheet);
        QFETCH(bool, parses);
        const QRegularExpression parseError(QStringLiteral("Could not parse"));
        if (parses)
            QTest::failOnWarning(parseError);
        else
            QTest::ignoreMessage(QtWarningMsg, parseError); // fails unless the warning comes
        qApp->setStyleSheet(sheet);
        QMainWindow window;
        auto* central = new QWidget;
        window.setCentralWidget(central);
        window.setMenuBar(new QMenuBar);
        window.setStatusBar(new QStatusBar);
        const QList<QWidget*> widgets{new QGroupBox(QStringLiteral("Group")),
                                      new QTreeWidget,
                                      new QHeaderView(Qt::Horizontal),
                                      new QPushButton,
                                      new QLineEdit,
                                      new QComboBox,
                                      new QSpinBox,
                                      new QProgressBar,
                                      new QSlider(Qt::Horizontal),
                                      new QTabWidget,
                                      new QMenu,
                                      new QScrollBar};
        for (QWidget* widget : widgets) {
            widget->setParent(central);
            widget->ensurePolished();
        }
        window.grab();
    }
};

QTEST_MAIN(TestTheme)
#include "tst_theme.moc"
