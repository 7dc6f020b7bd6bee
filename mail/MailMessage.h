#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// One mailbox: a display name (may be empty) and an address.
struct TMailAddress {
    QString Name;
    QString Address;
};

// The mailboxes of a comma-separated address list such as "<a@b.ru>, <>": each entry is
// "address", "<address>" or "name <address>"; empty entries and "<>" are dropped. Line
// breaks are removed first, so an address can never carry a header of its own.
QList<TMailAddress> ParseAddressList(const QString& text);

// A plain-text e-mail: the headers and the body lines, composed into the bytes that go
// after DATA. Header values lose their line breaks; names that are not plain ASCII are
// encoded words; the body is in the given character set, Base64-encoded.
class TMailMessage {
public:
    TMailAddress From;
    TMailAddress Sender;
    QList<TMailAddress> Recipients;
    QString Subject;
    QStringList Body;
    QString ContentType = QStringLiteral("text/plain");
    QString CharSet = QStringLiteral("Windows-1251");

    // Empties every field, so nothing carries over to the next message.
    void Clear();

    // The message with its header lines (Date from the given local time, a new
    // Message-ID), CR LF line ends, lines of at most 76 characters.
    QByteArray Compose(const QDateTime& date) const;
};

// "Thu, 10 Dec 2026 07:05:03 +0300": a date as e-mail headers write it.
QByteArray MailDate(const QDateTime& date);
// A display name as an e-mail header carries it: bare, quoted or as encoded words.
QByteArray EncodeDisplayName(const QString& name);
