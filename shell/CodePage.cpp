#include "shell/CodePage.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {
constexpr const char* kCp1251 = "windows-1251";
}

QByteArray ToCp1251(const QString& text)
{
    QStringEncoder encoder(kCp1251);
    return encoder.encode(text);
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
