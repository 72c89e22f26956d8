#pragma once

// Answers the modal windows that the code under test opens with exec(), from a 20 ms timer.

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>

class ModalAnswerer : public QObject {
public:
    // answer gets each modal window once it is the active one and must close it.
    explicit ModalAnswerer(std::function<void(QWidget*)> answer) {
        connect(&timer, &QTimer::timeout, this, [this, answer] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            // A window the answer leaves open for a later tick is still one window.
            if (modal != lastSeen) {
                lastSeen = modal;
                titles << modal->windowTitle();
                if (auto* box = qobject_cast<QMessageBox*>(modal))
                    texts << box->text();
            }
            answer(modal);
        });
        timer.start(20);
    }

    // Clicks that button of a message box; any other window is rejected.
    static void click(QWidget* modal, QMessageBox::StandardButton button) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box && box->button(button))
            box->button(button)->click();
        else
            dismiss(modal);
    }

    // Chooses path in a file dialog (an empty path cancels it).
    static void choose(QWidget* modal, const QString& path) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog || path.isEmpty()) {
            dismiss(modal);
            return;
        }
        // Typed as a user would; done() skips the dialog's own checks, which could answer
        // with boxes of their own.
        if (auto* typed = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            typed->setText(path);
        static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
    }

    static void dismiss(QWidget* modal) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }

    QStringList titles;
    QStringList texts;

private:
    QTimer timer;
    QPointer<QWidget> lastSeen;
};
