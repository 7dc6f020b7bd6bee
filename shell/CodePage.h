#pragma once

#include <QByteArray>
#include <QString>

// Windows-1251, the 8-bit code page of the log file, the settings file and mail bodies.
QByteArray ToCp1251(const QString& text);
QString FromCp1251(const QByteArray& bytes);
// True when every character of the text has a code in Windows-1251.
bool FitsCp1251(const QString& text);
