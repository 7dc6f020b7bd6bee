#include "data/ProfileFile.h"

#include "base/CodePage.h"
#include "base/Error.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <algorithm>

namespace {

// What one line of the file is. Names and values are still Windows-1251 bytes.
struct TLineShape {
    enum TKind { Other, Section, Key };
    TKind Kind = Other;
    QByteArray Name;
    QByteArray Value;
};

TLineShape ShapeOf(const QByteArray& line)
{
    const QByteArray text = line.trimmed();
    if (text.startsWith('[')) {
        const qsizetype close = text.indexOf(']');
        if (close < 0)
            return {};
        return {TLineShape::Section, text.mid(1, close - 1).trimmed(), {}};
    }
    if (text.startsWith(';'))
        return {}; // a comment
    const qsizetype equals = text.indexOf('=');
    if (equals <= 0)
        return {};
    const QByteArray name = text.left(equals).trimmed();
    if (name.isEmpty())
        return {};
    return {TLineShape::Key, name, text.mid(equals + 1).trimmed()};
}

const QByteArray kUtf8ByteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");

// Bytes outside ASCII that all form UTF-8 characters. Windows-1251 Russian text almost
// never does: its letters are lead bytes that would need continuation bytes (0x80-0xBF,
// mostly punctuation there) after them. A file of ASCII alone reads the same either way
// and stays Windows-1251, the encoding of the terminal's other tools.
bool IsUtf8Text(const QByteArray& bytes)
{
    const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                   [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
    if (ascii)
        return false;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

QString NativeName(const QString& fileName)
{
    return QDir::toNativeSeparators(fileName);
}

} // namespace

TProfileFile::TProfileFile(const QString& fileName)
    : FFileName(fileName)
{
    QFile file(fileName);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly))
        throw TError(QStringLiteral("Не удалось прочитать файл %1: %2")
                         .arg(NativeName(fileName), file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw TError(QStringLiteral("Не удалось прочитать файл %1: %2")
                         .arg(NativeName(fileName), file.errorString()));
    if (bytes.isEmpty())
        return;
    QByteArray text = bytes;
    if (text.startsWith(kUtf8ByteOrderMark)) {
        FByteOrderMark = true;
        FEncoding = TEncoding::Utf8;
        text.remove(0, kUtf8ByteOrderMark.size());
    } else if (IsUtf8Text(text)) {
        FEncoding = TEncoding::Utf8;
    }
    FLines = text.split('\n');
    if (text.endsWith('\n'))
        FLines.removeLast(); // the empty text after the last line end
    for (QByteArray& line : FLines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
}

std::optional<QString> TProfileFile::Value(const QString& section, const QString& key) const
{
    const qsizetype header = FindSection(section);
    if (header < 0)
        return std::nullopt;
    const qsizetype line = FindKey(header, key);
    if (line < 0)
        return std::nullopt;
    return Decode(ShapeOf(FLines[line]).Value);
}

QString TProfileFile::ReadString(const QString& section, const QString& key,
                                 const QString& defaultValue) const
{
    return Value(section, key).value_or(defaultValue);
}

void TProfileFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    if (value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n'))
        || value.contains(QChar(0)))
        throw TError(QStringLiteral("Значение ключа %1 нельзя записать в файл %2: "
                                    "в нём есть перевод строки или нулевой символ.")
                         .arg(key, NativeName(FFileName)));
    if (FEncoding == TEncoding::Windows1251 && !FitsCp1251(value))
        throw TError(QStringLiteral("Значение ключа %1 нельзя записать в файл %2: "
                                    "в нём есть символы вне кодировки Windows-1251.")
                         .arg(key, NativeName(FFileName)));

    const QByteArray encodedValue = Encode(value);
    const qsizetype header = FindSection(section);
    if (header < 0) {
        FLines << '[' + Encode(section) + ']' << Encode(key) + '=' + encodedValue;
        return;
    }
    const qsizetype line = FindKey(header, key);
    if (line >= 0) {
        // Replaced in place, keeping the name as the file spells it.
        FLines[line] = ShapeOf(FLines[line]).Name + '=' + encodedValue;
        return;
    }
    // After the section's last line that is not blank, so that a blank line separating
    // it from the next section stays in front of that section.
    qsizetype insertAt = SectionEnd(header);
    while (insertAt > header + 1 && FLines[insertAt - 1].trimmed().isEmpty())
        --insertAt;
    FLines.insert(insertAt, Encode(key) + '=' + encodedValue);
}

QByteArray TProfileFile::Bytes() const
{
    QByteArray bytes = FByteOrderMark ? kUtf8ByteOrderMark : QByteArray();
    for (const QByteArray& line : FLines)
        bytes += line + "\r\n";
    // Windows-1251 text whose bytes happen to form UTF-8 ("Рё" is the UTF-8 of "и") would
    // be read back as UTF-8, other characters than were written: such a file is written
    // in UTF-8, which reads back as the same text.
    if (FEncoding == TEncoding::Windows1251 && IsUtf8Text(bytes))
        return FromCp1251(bytes).toUtf8();
    return bytes;
}

void TProfileFile::Save() const
{
    QSaveFile file(FFileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(Bytes()) < 0 || !file.commit())
        throw TError(QStringLiteral("Не удалось записать файл %1: %2")
                         .arg(NativeName(FFileName), file.errorString()));
}

qsizetype TProfileFile::FindSection(const QString& section) const
{
    for (qsizetype i = 0; i < FLines.size(); ++i) {
        const TLineShape shape = ShapeOf(FLines[i]);
        if (shape.Kind == TLineShape::Section && SameName(shape.Name, section))
            return i;
    }
    return -1;
}

qsizetype TProfileFile::SectionEnd(qsizetype header) const
{
    qsizetype i = header + 1;
    while (i < FLines.size() && ShapeOf(FLines[i]).Kind != TLineShape::Section)
        ++i;
    return i;
}

qsizetype TProfileFile::FindKey(qsizetype header, const QString& key) const
{
    const qsizetype end = SectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        const TLineShape shape = ShapeOf(FLines[i]);
        if (shape.Kind == TLineShape::Key && SameName(shape.Name, key))
            return i;
    }
    return -1;
}

QString TProfileFile::Decode(const QByteArray& bytes) const
{
    return FEncoding == TEncoding::Utf8 ? QString::fromUtf8(bytes) : FromCp1251(bytes);
}

QByteArray TProfileFile::Encode(const QString& text) const
{
    return FEncoding == TEncoding::Utf8 ? text.toUtf8() : ToCp1251(text);
}

bool TProfileFile::SameName(const QByteArray& stored, const QString& wanted) const
{
    return Decode(stored).compare(wanted, Qt::CaseInsensitive) == 0;
}
