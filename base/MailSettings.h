#pragma once

#include <QString>

// The mail part of the operator's settings: the SMTP server, the sender and the two
// recipients of the notifications. The settings hold them among their other fields; the
// mailer reads them through this part alone, at the moment of use.
struct TMailSettings {
    QString edtSMTP = QStringLiteral("smtp.example.com");
    QString edtPort = QStringLiteral("25");
    QString edtUser = QStringLiteral("User");
    QString edtPassword;
    bool chAuten = false;
    QString edtFromName = QStringLiteral("User");
    QString edtFromAddress = QStringLiteral("user@example.com");
    QString edtEmail1 = QStringLiteral("user@example.com");
    QString edtEmail2 = QStringLiteral("70000000000@sms.example.com");
};
