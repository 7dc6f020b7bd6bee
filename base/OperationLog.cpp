#include "base/OperationLog.h"

#include "base/CodePage.h"
#include "base/Error.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringBuilder>
#include <algorithm>

TOperationLog::TOperationLog(TEnvironment& environment, TLogLines::TBound bound)
    : FEnvironment(environment)
    , FLines(bound)
{
}

void TOperationLog::OpenFile(const QString& path)
{
    QString reason;
    if (!FFile.Open(path, &reason))
        throw TError(QStringLiteral("Ошибка ввода-вывода: не удалось открыть файл журнала %1: %2").arg(path, reason));
    FFileDay = FEnvironment.Now().date();
    FRetryBytes = 0;
    // Beside the log, under the same single-instance hold.
    FLines.SetSpillPath(path + QStringLiteral(".lines"));
}

namespace {

constexpr qint64 kMegabyte = 1024 * 1024;
const QString kStampFormat = QStringLiteral("yyyy-MM-dd_HH-mm-ss");

// "Zovrant.log" rotated at a moment: "Zovrant.2008-12-09_23-59-59.log", with "-2", "-3"...
// after the stamp when a file of that second is there already.
QString RotatedPath(const QFileInfo& log, const QDateTime& now)
{
    const QString stem = log.dir().filePath(log.completeBaseName() + QLatin1Char('.') + now.toString(kStampFormat));
    const QString suffix = QLatin1Char('.') + log.suffix();
    QString path = stem + suffix;
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = stem + QLatin1Char('-') + QString::number(n) + suffix;
    return path;
}

} // namespace

void TOperationLog::RotateAtStart()
{
    const TLogRotation rotation = Rotation();
    if (rotation.MaxMB <= 0 || !FFile.IsOpen())
        return;
    const QDateTime now = FEnvironment.Now();
    if (FFile.Size() > qint64(rotation.MaxMB) * kMegabyte)
        Rotate(now, rotation);
    else
        RemoveOldRotated(now, rotation.KeepDays);
}

void TOperationLog::RotateIfDue()
{
    const TLogRotation rotation = Rotation();
    if (rotation.MaxMB <= 0 || !FFile.IsOpen())
        return;
    const QDateTime now = FEnvironment.Now();
    const qint64 size = FFile.Size();
    const bool newDay = now.date() > FFileDay;
    const bool tooLarge = size > std::max(qint64(rotation.MaxMB) * kMegabyte, FRetryBytes);
    if (!newDay && !tooLarge)
        return;
    if (size == 0) {
        // Nothing to put aside: the empty file serves the new day.
        FFileDay = now.date();
        return;
    }
    Rotate(now, rotation);
}

void TOperationLog::Rotate(const QDateTime& now, const TLogRotation& rotation)
{
    const QString path = FFile.Path();
    const QString rotated = RotatedPath(QFileInfo(path), now);
    // Closed for the rename: a file held open cannot be renamed everywhere.
    FFile.Close();
    const bool renamed = QFile::rename(path, rotated);
    QString reason;
    if (!FFile.Open(path, &reason))
        throw TError(QStringLiteral("Ошибка ввода-вывода: не удалось открыть файл журнала %1: %2").arg(path, reason));
    FFileDay = now.date();
    if (!renamed) {
        // The file goes on; the next try is a day or another MaxMB away, not every save.
        FRetryBytes = FFile.Size() + qint64(rotation.MaxMB) * kMegabyte;
        AddToLog(QStringLiteral("Не удалось переименовать файл журнала %1 в %2.").arg(path, rotated));
        return;
    }
    FRetryBytes = 0;
    RemoveOldRotated(now, rotation.KeepDays);
}

void TOperationLog::RemoveOldRotated(const QDateTime& now, int keepDays) const
{
    if (keepDays <= 0 || FFile.Path().isEmpty())
        return;
    const QFileInfo log(FFile.Path());
    const QRegularExpression rotatedName(
        QStringLiteral("^%1\\.(\\d{4}-\\d{2}-\\d{2}_\\d{2}-\\d{2}-\\d{2})(-\\d+)?\\.%2$")
            .arg(QRegularExpression::escape(log.completeBaseName()), QRegularExpression::escape(log.suffix())));
    // Both sides as the wall clock reads, as the names were written.
    const QDateTime oldest = QDateTime(now.date(), now.time()).addDays(-keepDays);
    QDir folder = log.dir();
    const QStringList names = folder.entryList({log.completeBaseName() + QStringLiteral(".*")}, QDir::Files);
    for (const QString& name : names) {
        const QRegularExpressionMatch match = rotatedName.match(name);
        if (!match.hasMatch())
            continue;
        const QDateTime stamp = QDateTime::fromString(match.captured(1), kStampFormat);
        if (stamp.isValid() && stamp < oldest)
            folder.remove(name);
    }
}

void TOperationLog::CloseFile()
{
    FFile.Close();
}

void TOperationLog::AddToLog(const QString& message)
{
    const QDateTime now = FEnvironment.Now();
    const TRegional& regional = FEnvironment.Regional;
    const QString text = FDateText.Of(now.date(), regional.ShortDateFormat) % QLatin1Char(' ')
        % FTimeText.Of(now.time(), regional.LongTimeFormat) % QLatin1Char(' ') % message;
    if (!text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'))) {
        FLines.Append(text);
        return;
    }
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
    for (const QString& line : text.split(lineBreak))
        FLines.Append(line);
}

void TOperationLog::SaveLog()
{
    RotateIfDue();
    const int count = LineCount();
    if (count > FLoggedLineCount) {
        QString text;
        for (int i = FLoggedLineCount; i < count; ++i) {
            text += FLines.Line(i);
            text += QStringLiteral("\r\n");
        }
        QString reason;
        if (!FFile.Append(ToCp1251(text), &reason))
            throw TError(QStringLiteral("Ошибка ввода-вывода: не удалось записать файл журнала: %1").arg(reason));
    }
    FLoggedLineCount = count;
}

void TOperationLog::SaveLogQuietly() noexcept
{
    try {
        SaveLog();
    } catch (...) {
    }
}
