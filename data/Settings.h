#pragma once

#include "base/MailSettings.h"

#include <QString>
#include <QStringList>

// The operator's settings: the one in-memory copy, one field per key of "Zovrant.ini",
// named after the settings dialog's field that edits it. Every part reads a setting from
// here at the moment it needs it; the settings dialog edits these fields as the operator
// types. Choice indexes are -1 when no item is selected.
class TSettings : public TMailSettings {
public:
    // [Position]
    int rgpPositionSize = 0;
    QString edtFixVol = QStringLiteral("30000");
    QString edtPart = QStringLiteral("20");
    int rgpFilled = 1;
    QString edtTime1 = QStringLiteral("10:30:00");
    QString edtTime2 = QStringLiteral("17:45:00");
    bool chExitQty = true;
    int rgpSingleMulti = 0;
    // [Quik]
    QString edtTRI = QStringLiteral("C:\\Program Files\\QUIK\\Trans\\Trans.tri");
    QString edtTRO = QStringLiteral("C:\\Program Files\\QUIK\\Trans\\Trans.tro");
    QString edtInfoLog = QStringLiteral("C:\\Program Files\\QUIK\\info.log");
    // The single account and its client code have no default: an order goes only to an
    // account the operator set (see SendingProblems).
    QString edtAccountMicex;
    QString edtAccountFORTS;
    QString edtIntTable = QStringLiteral("1");
    QString edtQuikConnectTimeOut = QStringLiteral("60");
    QString edtCode;
    QString edtAlerts = QStringLiteral("C:\\Program Files\\Omega Research\\MyWork\\Alerts11.mdb");
    QString edtQuikData = QStringLiteral("C:\\Zovrant\\Data\\dbQuikData.mdb");
    bool chConnect = false;
    bool chQuikConnect = false;
    // [Mail]: the mail fields come from TMailSettings.
    bool chSendTrans_Id = false;
    bool chSendTrans_done = false;
    bool chSendQuikConnect = false;
    // [Risk]: the desk's controls between a strategy's order and the terminal; each is a
    // whole number, 0 switches it off (the default: with every control off the orders go
    // out as before).
    // An identical line (client, security, operation, quantity, price) within this many
    // milliseconds of the last one is refused.
    int DuplicateMs = 0;
    // A strategy order that would fan out to more lines than this is refused whole.
    int MaxLinesPerOrder = 0;
    // Lines reach the import file at no more than TxPerSecond in any sliding second, with
    // TxBurst more allowed at once after a quiet spell.
    int TxPerSecond = 0;
    int TxBurst = 0;
    // [Log]: the log file "Zovrant.log" is rotated (renamed with its date and time, a new
    // one begun) at midnight and at start when it is over MaxMB megabytes; 0 never rotates.
    int MaxMB = 100;
    // Rotated log files older than this many days are removed; 0 keeps them all.
    int KeepDays = 0;

    // The folder of the settings file, ending in a path separator; fixed at creation.
    QString ProgramFolder;
    QString FileName() const { return ProgramFolder + QStringLiteral("Zovrant.ini"); }

    // Copies the file into the fields (a missing file or key gives the default; without
    // Windows the terminal's files default to a folder QUIK beside the program). Throws
    // TError naming the file, section, key and value of a value that does not convert; the
    // fields read before it keep their new values, the later ones keep what they had.
    void LoadSettings();
    // Throws TError naming the section, key and value of each session time (time1, time2)
    // that is not a time of day. The owner runs it after each load, and watching does not
    // start while it fails: otherwise every order would fail the session filter.
    void CheckSessionTimes() const;
    // The settings with which orders would go astray, one text per key naming the settings
    // file, the section, the key and its value: the import file (pathTRI) empty, the same
    // file as the result file (pathTRO) or the terminal's log (pathInfoLog), or a file of
    // a database (Alerts, QuikData) or holding one, and the same for the result file; the
    // result file the same as the terminal's log; the table period (intTable) not a whole
    // number of seconds from 1 to MaxTableSeconds (0 never reads the results, a day-long
    // period drops withdrawals); in single-account mode (rgpSingleMulti 0) the client code
    // (Code) empty, or both accounts (AccountMicex, AccountFORTS) empty. Empty when none.
    QStringList SendingProblems() const;
    static constexpr int MaxTableSeconds = 3600;
    // Throws TError naming every problem of SendingProblems and of the session times:
    // watching does not start until they are mended.
    void CheckWatchSettings() const;
    // The periods of the two timers in milliseconds, from the seconds of edtIntTable and
    // edtQuikConnectTimeOut; 0 means the timer does not tick. Throws TError naming the
    // key and the value when it is not a whole number of seconds in range. The owner of the
    // timers sets them after each load, the table timer first.
    int UpdateTablePeriod() const;
    int InfoLogPeriod() const;
    // Writes every field into the file, keeping unknown keys and sections. Throws TError
    // and leaves the file as it was when a value cannot be stored (a password character
    // that the stored form cannot carry, a text outside the file's encoding, a line break) or
    // when the file cannot be written.
    void SaveSettings() const;
};

// The per-character shift of the stored password: +2 when encoding, -2 when decoding,
// on the Windows-1251 codes, wrapping modulo 256.
QString ScrambleText(const QString& source, bool encode);

// Whether the operator receives e-mails: any of the mail events is switched on. A failure
// that stops the sending is mailed then too.
bool MailOn(const TSettings& settings);
