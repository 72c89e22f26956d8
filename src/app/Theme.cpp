#include "app/Theme.h"

#include <QApplication>
#include <QFont>

namespace Tessaryn {

namespace {

const char* const kStyleSheet = R"QSS(
/* Main window and core surfaces */
QMainWindow, QDialog {
    background-color: #121316;
    color: #F0F0F0;
}

QWidget {
    color: #DDE2EC;
    font-family: 'Segoe UI', -apple-system, BlinkMacSystemFont, 'Helvetica Neue', sans-serif;
}

QLabel {
    color: #DDE2EC;
    font-size: 12px;
}

/* Splitter */
QSplitter::handle {
    background-color: #242732;
    width: 2px;
    height: 2px;
}

QSplitter::handle:hover {
    background-color: #D4AF37;
}

/* Group boxes and panels */
QGroupBox {
    border: 1px solid #2B303C;
    border-radius: 6px;
    margin-top: 18px;
    padding: 14px 10px 10px 10px;
    background-color: #16181F;
    font-weight: normal;
    color: #DDE2EC;
}

QGroupBox::title {
    subcontrol-origin: margin;
    subcontrol-position: top left;
    left: 12px;
    top: 2px;
    padding: 0 6px;
    font-size: 11px;
    font-weight: 700;
    color: #D4AF37;
    letter-spacing: 0.5px;
}

/* Views Qt builds itself, such as the file dialog's lists, take the dark surface too. */
QAbstractItemView {
    background-color: #15171E;
    color: #EDEDED;
    selection-background-color: #2A261C;
    selection-color: #F8E599;
    alternate-background-color: #181B22;
}

/* Tree and list views */
QTreeWidget, QListWidget, QTableWidget {
    background-color: #15171E;
    border: 1px solid #282C37;
    border-radius: 6px;
    color: #EDEDED;
    gridline-color: #20232C;
    outline: none;
}

QTreeWidget::item, QListWidget::item {
    padding: 6px 8px;
    border-bottom: 1px solid #1C1F27;
    border-left: 3px solid transparent;
}

QTreeWidget::item:selected, QListWidget::item:selected {
    background-color: #2A261C;
    color: #F8E599;
    border-left: 3px solid #D4AF37;
}

QTreeWidget::item:hover:!selected, QListWidget::item:hover:!selected {
    background-color: #1D2029;
}

/* Header sections */
QHeaderView::section {
    background-color: #1A1D25;
    color: #9EA4B3;
    padding: 6px 8px;
    border: none;
    border-right: 1px solid #242732;
    border-bottom: 2px solid #2B2F3A;
    font-weight: 700;
    font-size: 11px;
    text-transform: uppercase;
    letter-spacing: 0.5px;
}

/* Buttons */
QPushButton {
    background-color: #222631;
    color: #FFFFFF;
    border: 1px solid #333846;
    border-radius: 5px;
    padding: 6px 12px;
    font-weight: 600;
    font-size: 12px;
    min-height: 18px;
}

QPushButton:hover {
    background-color: #2A303E;
    border-color: #D4AF37;
    color: #F8E7B4;
}

QPushButton:pressed {
    background-color: #171A21;
}

QPushButton:disabled {
    background-color: #181A20;
    border-color: #242730;
    color: #555A68;
}

/* Gold accent buttons */
QPushButton#goldButton {
    background: qlineargradient(x1:0, y1:0, x2:1, y2:1, stop:0 #D4AF37, stop:1 #AA8520);
    color: #101114;
    border: 1px solid #E5C255;
    font-weight: 700;
    padding: 6px 14px;
}

QPushButton#goldButton:hover {
    background: qlineargradient(x1:0, y1:0, x2:1, y2:1, stop:0 #E5C255, stop:1 #C49E2D);
    color: #000000;
    border-color: #FFF0A8;
}

QPushButton#goldButton:pressed {
    background: #9A7618;
}

QPushButton#goldButton:disabled {
    background: #181A20;
    color: #555A68;
    border-color: #242730;
}

/* Line edits and text areas */
QLineEdit, QTextEdit, QPlainTextEdit {
    background-color: #14161D;
    border: 1px solid #2B303C;
    border-radius: 5px;
    padding: 6px 10px;
    color: #FFFFFF;
    selection-background-color: #D4AF37;
    selection-color: #121316;
    min-height: 20px;
}

QLineEdit:focus, QTextEdit:focus, QPlainTextEdit:focus {
    border: 1px solid #D4AF37;
    background-color: #181B24;
}

/* Combo boxes */
QComboBox {
    background-color: #14161D;
    border: 1px solid #2B303C;
    border-radius: 5px;
    padding: 5px 28px 5px 10px;
    color: #FFFFFF;
    selection-background-color: #D4AF37;
    selection-color: #121316;
    min-height: 20px;
}

QComboBox:hover, QComboBox:focus {
    border: 1px solid #D4AF37;
    background-color: #181B24;
}

QComboBox::drop-down {
    subcontrol-origin: padding;
    subcontrol-position: top right;
    width: 24px;
    border-left: 1px solid #2B303C;
    background-color: #1C1F28;
}

QComboBox::down-arrow {
    image: none;
    width: 0;
    height: 0;
    border-left: 4px solid transparent;
    border-right: 4px solid transparent;
    border-top: 5px solid #D4AF37;
}

QComboBox QAbstractItemView {
    background-color: #181B23;
    border: 1px solid #333846;
    selection-background-color: #2D271B;
    selection-color: #F8E7B4;
}

/* Spin boxes */
QSpinBox, QDoubleSpinBox {
    background-color: #14161D;
    border: 1px solid #2B303C;
    border-radius: 5px;
    padding: 5px 24px 5px 8px;
    color: #FFFFFF;
    selection-background-color: #D4AF37;
    selection-color: #121316;
    min-height: 20px;
}

QSpinBox:focus, QDoubleSpinBox:focus {
    border: 1px solid #D4AF37;
    background-color: #181B24;
}

QSpinBox::up-button, QDoubleSpinBox::up-button {
    subcontrol-origin: border;
    subcontrol-position: top right;
    width: 18px;
    background-color: #1C1F28;
}

QSpinBox::down-button, QDoubleSpinBox::down-button {
    subcontrol-origin: border;
    subcontrol-position: bottom right;
    width: 18px;
    background-color: #1C1F28;
}

QSpinBox::up-button:hover, QDoubleSpinBox::up-button:hover,
QSpinBox::down-button:hover, QDoubleSpinBox::down-button:hover {
    background-color: #252A36;
}

QSpinBox::up-arrow, QDoubleSpinBox::up-arrow {
    image: none;
    width: 0;
    height: 0;
    border-left: 3px solid transparent;
    border-right: 3px solid transparent;
    border-bottom: 4px solid #D4AF37;
}

QSpinBox::down-arrow, QDoubleSpinBox::down-arrow {
    image: none;
    width: 0;
    height: 0;
    border-left: 3px solid transparent;
    border-right: 3px solid transparent;
    border-top: 4px solid #D4AF37;
}

/* Progress bar */
QProgressBar {
    background-color: #16181E;
    border: 1px solid #2A2E38;
    border-radius: 4px;
    text-align: center;
    color: #E0E0E0;
    height: 14px;
}

QProgressBar::chunk {
    background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #B89327, stop:1 #E2BE4C);
    border-radius: 3px;
}

/* Sliders */
QSlider::groove:horizontal {
    height: 6px;
    background-color: #232731;
    border-radius: 3px;
}

QSlider::sub-page:horizontal {
    background-color: #D4AF37;
    border-radius: 3px;
}

QSlider::handle:horizontal {
    width: 14px;
    height: 14px;
    background-color: #F4D375;
    border: 1px solid #B89327;
    border-radius: 7px;
    margin: -4px 0;
}

QSlider::handle:horizontal:hover {
    background-color: #FFFFFF;
}

/* Tabs */
QTabWidget::pane {
    border: 1px solid #262933;
    background-color: #15171D;
    border-radius: 6px;
}

QTabBar::tab {
    background-color: #191B22;
    color: #9EA3AF;
    padding: 8px 16px;
    border-top-left-radius: 5px;
    border-top-right-radius: 5px;
    margin-right: 2px;
}

QTabBar::tab:selected {
    background-color: #15171D;
    color: #D4AF37;
    border-bottom: 2px solid #D4AF37;
    font-weight: bold;
}

QTabBar::tab:hover:!selected {
    background-color: #20232C;
    color: #FFFFFF;
}

/* Menu bar and menus */
QMenuBar {
    background-color: #14161D;
    border-bottom: 1px solid #232630;
}

QMenuBar::item {
    padding: 6px 10px;
    color: #D0D0D0;
    background: transparent;
}

QMenuBar::item:selected {
    background-color: #232733;
    color: #D4AF37;
}

QMenu {
    background-color: #1A1D25;
    border: 1px solid #303542;
    padding: 4px;
}

QMenu::item {
    padding: 6px 24px 6px 12px;
    border-radius: 4px;
}

QMenu::item:selected {
    background-color: #2C281E;
    color: #F4D375;
}

QMenu::separator {
    height: 1px;
    background-color: #2D313D;
    margin: 4px 6px;
}

/* Status bar */
QStatusBar {
    background-color: #0E0F13;
    border-top: 1px solid #20232C;
    color: #8C92A0;
    font-size: 11px;
}

/* Scroll bars */
QScrollBar:vertical {
    background-color: #14161C;
    width: 10px;
    margin: 0;
    border: none;
}

QScrollBar:horizontal {
    background-color: #14161C;
    height: 10px;
    margin: 0;
    border: none;
}

QScrollBar::handle:vertical {
    background-color: #2C303D;
    border-radius: 5px;
    min-height: 20px;
}

QScrollBar::handle:horizontal {
    background-color: #2C303D;
    border-radius: 5px;
    min-width: 20px;
}

QScrollBar::handle:hover {
    background-color: #3E4456;
}

QScrollBar::add-line, QScrollBar::sub-line {
    width: 0;
    height: 0;
    border: none;
    background: none;
}

QScrollBar::add-page, QScrollBar::sub-page {
    background: none;
}
)QSS";

} // namespace

QString Theme::getStyleSheet() {
    return QString::fromUtf8(kStyleSheet);
}

void Theme::applyTheme(QApplication& app) {
    // Weight -1 keeps the default weight; the hint keeps the default matching strategy.
    QFont font(QStringLiteral("Segoe UI"), 10, -1, false);
    font.setStyleHint(QFont::SansSerif);
    app.setFont(font);
    app.setStyleSheet(getStyleSheet());
}

} // namespace Tessaryn
