#include "mail/MailMessage.h"

#include "base/Error.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QUuid>

namespace {

constexpr qsizetype kLineLength = 76;

QString WithoutLineBreaks(QString text)
{
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    return text;
}

bool IsPrintableAscii(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return false;
    return true;
}

// Bytes of the text in the named character set; characters it lacks become '?'.
QByteArray Encoded(const QString& text, const QString& charSet)
{
    QStringEncoder encoder(charSet.toLatin1().constData());
    if (!encoder.isValid())
        throw TError(QStringLiteral("Кодировка %1 недоступна.").arg(charSet));
    return encoder.encode(text);
}

// Encoded words ("=?charset?B?...?=") of at most 75 characters each, never splitting a
// character: Windows-1251 when the name fits it, UTF-8 otherwise.
QList<QByteArray> EncodedWords(const QString& text)
{
    QStringEncoder cp1251("windows-1251");
    const QByteArray probe = cp1251.encode(text);
    const bool fitsCp1251 = !cp1251.hasError() && QStringDecoder("windows-1251").decode(probe) == text;
    const QByteArray prefix = fitsCp1251 ? "=?windows-1251?B?" : "=?UTF-8?B?";
    constexpr qsizetype kMaxBytes = 42; // 56 Base64 characters: the word stays within 75

    QList<QByteArray> words;
    QByteArray chunk;
    auto flush = [&] {
        if (!chunk.isEmpty())
            words << prefix + chunk.toBase64() + "?=";
        chunk.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = (text[i].isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QString character = text.mid(i, length);
        const QByteArray bytes = fitsCp1251 ? Encoded(character, QStringLiteral("windows-1251"))
                                            : character.toUtf8();
        if (chunk.size() + bytes.size() > kMaxBytes)
            flush();
        chunk += bytes;
        i += length - 1;
    }
    flush();
    return words;
}

// A header line made of tokens, folded between tokens (CR LF and a blank) so that no line
// grows past 76 characters where that can be helped.
QByteArray Header(const QByteArray& name, const QList<QByteArray>& tokens, const QByteArray& separator)
{
    QByteArray result = name + ":";
    qsizetype lineLength = result.size();
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const QByteArray token = tokens[i] + (i + 1 < tokens.size() ? separator : QByteArray());
        if (i > 0 && lineLength + 1 + token.size() > kLineLength) {
            result += "\r\n";
            lineLength = 0;
        }
        result += " " + token;
        lineLength += 1 + token.size();
    }
    return result + "\r\n";
}

// The tokens of one mailbox: the display name's words (or encoded words), then the address.
QList<QByteArray> MailboxTokens(const TMailAddress& mailbox)
{
    const QString name = WithoutLineBreaks(mailbox.Name).trimmed();
    const QByteArray address = WithoutLineBreaks(mailbox.Address).trimmed().toUtf8();
    if (name.isEmpty())
        return {address};
    QList<QByteArray> tokens;
    if (IsPrintableAscii(name))
        tokens << EncodeDisplayName(name);
    else
        tokens = EncodedWords(name);
    tokens << "<" + address + ">";
    return tokens;
}

QList<QByteArray> MailboxListTokens(const QList<TMailAddress>& mailboxes)
{
    QList<QByteArray> tokens;
    for (qsizetype i = 0; i < mailboxes.size(); ++i) {
        QList<QByteArray> mailbox = MailboxTokens(mailboxes[i]);
        if (i + 1 < mailboxes.size())
            mailbox.last() += ",";
        tokens += mailbox;
    }
    return tokens;
}

QByteArray Base64Lines(const QByteArray& bytes)
{
    const QByteArray encoded = bytes.toBase64();
    QByteArray result;
    for (qsizetype i = 0; i < encoded.size(); i += kLineLength)
        result += encoded.mid(i, kLineLength) + "\r\n";
    return result;
}

// The domain of an address, for the message identifier; a fixed one when it has none.
QByteArray IdDomain(const QString& address)
{
    static const QRegularExpression domain(QStringLiteral("@([A-Za-z0-9.-]+)$"));
    const QRegularExpressionMatch match = domain.match(address.trimmed());
    return match.hasMatch() ? match.captured(1).toLatin1() : QByteArray("zovrant.localhost");
}

} // namespace

QList<TMailAddress> ParseAddressList(const QString& text)
{
    // Split at commas that stand outside quotes and angle brackets.
    const QString flat = WithoutLineBreaks(text);
    QStringList entries;
    QString current;
    bool quoted = false;
    bool angled = false;
    for (qsizetype i = 0; i < flat.size(); ++i) {
        const QChar c = flat[i];
        if (quoted && c == QLatin1Char('\\') && i + 1 < flat.size()) {
            current += c;
            current += flat[++i];
            continue;
        }
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && c == QLatin1Char('<'))
            angled = true;
        else if (!quoted && c == QLatin1Char('>'))
            angled = false;
        else if (!quoted && !angled && c == QLatin1Char(',')) {
            entries << current;
            current.clear();
            continue;
        }
        current += c;
    }
    entries << current;

    QList<TMailAddress> result;
    for (const QString& raw : entries) {
        const QString entry = raw.trimmed();
        TMailAddress mailbox;
        const qsizetype open = entry.lastIndexOf(QLatin1Char('<'));
        if (open >= 0) {
            const qsizetype close = entry.indexOf(QLatin1Char('>'), open);
            mailbox.Address = entry.mid(open + 1, close < 0 ? -1 : close - open - 1).trimmed();
            QString name = entry.left(open).trimmed();
            if (name.size() >= 2 && name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"'))) {
                name = name.mid(1, name.size() - 2);
                name.replace(QStringLiteral("\\\""), QStringLiteral("\""));
                name.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
            }
            mailbox.Name = name;
        } else {
            mailbox.Address = entry;
        }
        if (!mailbox.Address.isEmpty())
            result << mailbox;
    }
    return result;
}

QByteArray MailDate(const QDateTime& date)
{
    const QLocale c = QLocale::c();
    const int offsetMinutes = date.offsetFromUtc() / 60;
    const int absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    return (c.toString(date, QStringLiteral("ddd, d MMM yyyy HH:mm:ss ")) + (offsetMinutes < 0 ? u'-' : u'+')
            + QStringLiteral("%1%2").arg(absolute / 60, 2, 10, QLatin1Char('0')).arg(absolute % 60, 2, 10, QLatin1Char('0')))
        .toLatin1();
}

QByteArray EncodeDisplayName(const QString& name)
{
    const QString flat = WithoutLineBreaks(name).trimmed();
    if (!IsPrintableAscii(flat))
        return EncodedWords(flat).join(' ');
    // Letters, digits, blanks and the characters an atom allows need no quotes.
    static const QRegularExpression atoms(QStringLiteral("^[A-Za-z0-9!#$%&'*+/=?^_`{|}~ -]*$"));
    if (atoms.match(flat).hasMatch())
        return flat.toLatin1();
    QString quoted = flat;
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return "\"" + quoted.toLatin1() + "\"";
}

void TMailMessage::Clear()
{
    *this = TMailMessage();
}

QByteArray TMailMessage::Compose(const QDateTime& date) const
{
    QByteArray message;
    message += "Date: " + MailDate(date) + "\r\n";
    message += Header("From", MailboxTokens(From), {});
    message += Header("Sender", MailboxTokens(Sender), {});
    message += Header("To", MailboxListTokens(Recipients), {});
    const QString subject = WithoutLineBreaks(Subject);
    message += IsPrintableAscii(subject) ? "Subject: " + subject.toLatin1() + "\r\n"
                                         : Header("Subject", EncodedWords(subject), {});
    message += "Message-ID: <" + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1() + "@"
        + IdDomain(From.Address) + ">\r\n";
    message += "MIME-Version: 1.0\r\n";
    message += "Content-Type: " + WithoutLineBreaks(ContentType).toLatin1() + "; charset=\""
        + WithoutLineBreaks(CharSet).toLatin1() + "\"\r\n";
    message += "Content-Transfer-Encoding: base64\r\n";
    message += "X-Mailer: Zovrant\r\n";
    message += "\r\n";

    // The body's own line breaks become CR LF, whatever the text held.
    QString text = Body.join(QStringLiteral("\r\n"));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    message += Base64Lines(Encoded(text + QStringLiteral("\r\n"), CharSet));
    return message;
}
