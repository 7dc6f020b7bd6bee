#include "shell/ui/ErrorBox.h"

#include "base/OperationLog.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

namespace {
const QString kCaption = QStringLiteral("Zovrant v 2.1");
}

TErrorBox::~TErrorBox()
{
    delete FBox.data();
}

void TErrorBox::Show(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    if (FBox) {
        if (FLog) {
            FLog->AddToLog(text);
            FLog->SaveLogQuietly(); // the lines stay for the next save
        }
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Critical, kCaption, text, QMessageBox::Ok,
                                QApplication::activeWindow());
    // Closing the box must never end the program, even when it is the only window shown
    // (the main window hidden in the tray).
    box->setAttribute(Qt::WA_QuitOnClose, false);
    // Once OK is pressed the next failure opens a box again.
    QObject::connect(box, &QDialog::finished, box, [this, box] {
        FBox.clear();
        box->deleteLater();
    });
    FBox = box;
    // Not exec(): the box waits for OK without a message loop of its own.
    box->open();
}

void TErrorBox::ShowAndWait(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    QMessageBox::critical(QApplication::activeWindow(), kCaption, text);
}
