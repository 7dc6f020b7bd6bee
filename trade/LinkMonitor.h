#pragma once

#include <QString>
#include <QtGlobal>
class TCoreEvents;
class TOperationLog;
class TSettings;

// Follows the terminal's link to its server by the growth of the terminal's "info.log":
// a check that finds the file's size changed since the previous check means the link is
// up, one that finds the same size means it is lost. Changes between the two known states
// are logged and, when the operator asked for it, mailed.
class TLinkMonitor {
public:
    // The link states.
    static constexpr quint8 StateNoData = 255;
    static constexpr quint8 StateLost = 0;
    static constexpr quint8 StateEstablished = 1;

    TLinkMonitor(TSettings& settings, TOperationLog& log, TCoreEvents& events);

    // The current size of "info.log" in bytes (its low 32 bits), 0 when it cannot be
    // determined. Only the file's size is queried: the file is never opened, so a
    // terminal holding it open for writing does not stand in the way. Saves the log.
    quint32 ReadInfoLog();
    // The start-up's reading: the size the first check compares with.
    void TakeStartingSize() { FInfoLogSize = ReadInfoLog(); }
    // One check of the link, at every tick of the link timer.
    void timInfoLogTimer();

    quint32 InfoLogSize() const { return FInfoLogSize; }
    quint8 QuikServerState() const { return FQuikServerState; }
    // The state as the status bar shows it: "Н/Д" (no data, or checking switched off),
    // "Нет" (lost) or "ОК" (established).
    QString ServerStateText() const;

private:
    void Announce(const QString& text);

    TSettings& FSettings;
    TOperationLog& FLog;
    TCoreEvents& FEvents;
    quint32 FInfoLogSize = 0;
    quint8 FQuikServerState = StateNoData;
};
