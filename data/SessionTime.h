#pragma once

#include <QString>
#include <QTime>

// The time of day of a trading-session setting ("time1", "time2"). The settings dialog
// edits them with an optional first hour digit, so " 9:45:00", "9:45:00" and "09:45:00"
// are the same time. Throws TError naming the text when it is not a time of day. It lives
// beside the settings so that their load can check the session times the filters use.
QTime SessionTime(const QString& text);
