#pragma once

#include <QString>

class QTimer;

// The operator's settings: the one in-memory copy, one field per key of "Zovrant.ini",
// named after the settings dialog's field that edits it. Every part reads a setting from
// here at the moment it needs it; the settings dialog edits these fields as the operator
// types. Choice indexes are -1 when no item is selected.
class TSettings {
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
    QString edtAccountMicex = QStringLiteral("L01-00000F00");
    QString edtAccountFORTS = QStringLiteral("SPB");
    QString edtIntTable = QStringLiteral("1");
    QString edtQuikConnectTimeOut = QStringLiteral("60");
    QString edtCode = QStringLiteral("111");
    QString edtAlerts = QStringLiteral("C:\\Program Files\\Omega Research\\MyWork\\Alerts11.mdb");
    QString edtQuikData = QStringLiteral("C:\\Zovrant\\Data\\dbQuikData.mdb");
    bool chConnect = false;
    bool chQuikConnect = false;
    // [Mail]
    QString edtSMTP = QStringLiteral("smtp.example.com");
    QString edtPort = QStringLiteral("25");
    QString edtUser = QStringLiteral("User");
    QString edtPassword;
    bool chAuten = false;
    QString edtFromName = QStringLiteral("User");
    QString edtFromAddress = QStringLiteral("user@example.com");
    QString edtEmail1 = QStringLiteral("user@example.com");
    QString edtEmail2 = QStringLiteral("70000000000@sms.example.com");
    bool chSendTrans_Id = false;
    bool chSendTrans_done = false;
    bool chSendQuikConnect = false;

    // The folder of the settings file, ending in a path separator; fixed at creation.
    QString ProgramFolder;
    // The two timers whose periods a load sets (owned by the main window; may be null).
    QTimer* timUpdateTable = nullptr;
    QTimer* timInfoLog = nullptr;

    QString FileName() const { return ProgramFolder + QStringLiteral("Zovrant.ini"); }

    // Copies the file into the fields (a missing file or key gives the default), then sets
    // both timer periods to the seconds of edtIntTable and edtQuikConnectTimeOut. Throws
    // TError on a value that does not convert; the fields read before it keep their new
    // values, the later ones and the timers keep what they had. A period of 0 stops a
    // running timer (a Qt timer of period 0 would fire without pause); a later load with
    // a period above 0 starts it again.
    void LoadSettings();
    // Writes every field into the file, keeping unknown keys and sections. Throws TError
    // and leaves the file as it was when a value cannot be stored (a password character
    // that the stored form cannot carry, a text outside Windows-1251, a line break) or
    // when the file cannot be written.
    void SaveSettings() const;

private:
    // A timer stopped by a period of 0, to be started again by a period above 0.
    bool FUpdateTableHeld = false;
    bool FInfoLogHeld = false;
};

// The per-character shift of the stored password: +2 when encoding, -2 when decoding,
// on the Windows-1251 codes, wrapping modulo 256.
QString ScrambleText(const QString& source, bool encode);
