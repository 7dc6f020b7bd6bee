#include "base/CodePage.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {
constexpr const char* kCp1251 = "windows-1251";
}

namespace {

// Writes the text of ASCII and the Russian letters А to я, which is nearly every log line
// and transaction line, to out; false at the first other character, which is left to the
// converter (a converter costs more to set up than such a line takes to encode).
bool EncodeCommon(const QString& text, char* out)
{
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code < 0x80)
            *out++ = char(code);
        else if (code >= 0x0410 && code <= 0x044F) // А..я are 0xC0..0xFF, in order
            *out++ = char(0xC0 + (code - 0x0410));
        else
            return false;
    }
    return true;
}

} // namespace

QByteArray ToCp1251(const QString& text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    if (EncodeCommon(text, bytes.data()))
        return bytes;
    return QStringEncoder(kCp1251).encode(text);
}

void AppendCp1251(QByteArray& bytes, const QString& text)
{
    const qsizetype start = bytes.size();
    bytes.resize(start + text.size());
    if (!EncodeCommon(text, bytes.data() + start)) {
        bytes.truncate(start);
        bytes += QStringEncoder(kCp1251).encode(text);
    }
}

QString FromCp1251(const QByteArray& bytes)
{
    QStringDecoder decoder(kCp1251);
    return decoder.decode(bytes);
}

bool FitsCp1251(const QString& text)
{
    return FromCp1251(ToCp1251(text)) == text;
}
