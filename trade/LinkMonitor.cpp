#include "trade/LinkMonitor.h"

#include "base/CoreEvents.h"
#include "base/OperationLog.h"
#include "data/Settings.h"

#include <QFileInfo>

TLinkMonitor::TLinkMonitor(TSettings& settings, TOperationLog& log, TCoreEvents& events)
    : FSettings(settings), FLog(log), FEvents(events)
{
}

quint32 TLinkMonitor::ReadInfoLog()
{
    const QString path = FSettings.edtInfoLog;
    quint32 size = 0;
    // A fresh QFileInfo asks the file system each time; a cached size would hide growth.
    const QFileInfo info(path);
    if (info.isFile())
        size = static_cast<quint32>(static_cast<quint64>(info.size()) & 0xFFFFFFFFu);
    FLog.SaveLog();
    return size;
}

void TLinkMonitor::timInfoLogTimer()
{
    if (FSettings.chQuikConnect) {
        const quint32 size = ReadInfoLog();
        const bool changed = size != FInfoLogSize;
        QString message;
        if (size == 0 && changed) {
            // The file vanished or was emptied: that is no sign of a working link, so it
            // brings no message. A lost link stays lost; otherwise the link counts as up
            // until the next check, which reports the break if the file is still gone.
            if (FQuikServerState != StateLost)
                FQuikServerState = StateEstablished;
        } else if (changed) {
            if (FQuikServerState == StateLost)
                message = QStringLiteral("Соединение установлено");
            FQuikServerState = StateEstablished;
        } else {
            if (FQuikServerState == StateEstablished)
                message = QStringLiteral("Соединение разорвано");
            FQuikServerState = StateLost;
        }
        FInfoLogSize = size;
        // The new state is in place before the message goes out, so a check served while
        // the mail is on its way compares with it and does not repeat the message.
        if (!message.isEmpty())
            Announce(message);
    }
    FEvents.StatusChanged();
    FLog.SaveLog();
}

QString TLinkMonitor::ServerStateText() const
{
    if (!FSettings.chQuikConnect)
        return QStringLiteral("Н/Д");
    switch (FQuikServerState) {
    case StateLost:
        return QStringLiteral("Нет");
    case StateEstablished:
        return QStringLiteral("ОК");
    default:
        return QStringLiteral("Н/Д");
    }
}

void TLinkMonitor::Announce(const QString& text)
{
    FLog.AddToLog(text);
    if (FSettings.chSendQuikConnect)
        FEvents.Announce(text);
}
