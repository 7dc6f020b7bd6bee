#pragma once

#include <QByteArray>
#include <QString>

// Windows-1251, the 8-bit code page of the log file, the settings file and mail bodies.
QByteArray ToCp1251(const QString& text);
// Appends the text in Windows-1251 to the bytes, as bytes += ToCp1251(text) does.
void AppendCp1251(QByteArray& bytes, const QString& text);
QString FromCp1251(const QByteArray& bytes);
// True when every character of the text has a code in Windows-1251.
bool FitsCp1251(const QString& text);
