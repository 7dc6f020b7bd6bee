#include "trade/ResultReader.h"

#include "base/CodePage.h"
#include "base/CoreEvents.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/Settings.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

namespace {

// How many bytes before the remembered position are kept to recognise the same file.
constexpr qsizetype TailLength = 64;

// A line break found in the data: where it begins and how many bytes it takes.
struct TLineEnd {
    qsizetype Begin = 0;
    qsizetype Length = 0;
};

// The first line break at or after `from`: CR LF, CR or LF. None when the rest of the
// data is not a complete line yet. A CR that ends the data counts as a break by itself.
std::optional<TLineEnd> FindLineEnd(const QByteArray& data, qsizetype from)
{
    for (qsizetype i = from; i < data.size(); ++i) {
        const char c = data.at(i);
        if (c == '\n')
            return TLineEnd{i, 1};
        if (c == '\r')
            return TLineEnd{i, i + 1 < data.size() && data.at(i + 1) == '\n' ? 2 : 1};
    }
    return std::nullopt;
}

bool EndsWithLoneCarriageReturn(const QByteArray& data, const TLineEnd& end)
{
    return end.Length == 1 && data.at(end.Begin) == '\r' && end.Begin + 1 == data.size();
}

QString ReadFailure(const QString& path, const QFile& file)
{
    return QStringLiteral("Ошибка чтения файла %1\r\n%2").arg(path, file.errorString());
}

} // namespace

TResultReader::TResultReader(TSettings& settings, TOperationLog& log, TResultBookings& bookings,
                             TCoreEvents& events)
    : FSettings(settings), FLog(log), FBookings(bookings), FEvents(events)
{
}

void TResultReader::actCheckTROExecute()
{
    if (FBusy)
        return;
    FBusy = true;
    const auto release = qScopeGuard([this] { FBusy = false; });

    const QString path = FSettings.edtTRO;
    if (!QFileInfo::exists(path))
        return;
    // The terminal stays free to append while we read: a line it is still writing has
    // no line break yet and waits for the next pass.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw TError(QStringLiteral("Невозможно открыть файл %1\r\n%2").arg(path, file.errorString()));

    try {
        if (WasReplaced(file, file.size()))
            StartOver(file);
        if (!file.seek(FOffset))
            throw TError(ReadFailure(path, file));
        const QByteArray data = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw TError(ReadFailure(path, file));
        ProcessNewBytes(data);
    } catch (...) {
        // The lines done before the failure stay done; their log lines reach the file.
        // A failure to save is left for the next save: the lines stay in the log.
        FLog.SaveLogQuietly();
        throw;
    }
    FLog.SaveLog();
}

bool TResultReader::WasReplaced(QFile& file, qint64 size)
{
    if (size < FOffset)
        return true;
    if (FTail.isEmpty())
        return false;
    if (!file.seek(FOffset - FTail.size()))
        throw TError(ReadFailure(file.fileName(), file));
    const QByteArray seen = file.read(FTail.size());
    if (file.error() != QFileDevice::NoError)
        throw TError(ReadFailure(file.fileName(), file));
    return seen != FTail;
}

void TResultReader::StartOver(QFile& file)
{
    // A terminal that was restarted may begin a new file and at once write results the
    // bridge has not booked: the new file is read from its start. Lines already booked
    // in this run are recognised there and change nothing.
    FLog.AddToLog(QStringLiteral("Файл результатов %1 заменён или укорочен; он читается с начала.").arg(file.fileName()));
    FOffset = 0;
    FTail.clear();
    FAwaitingLineFeed = false;
    FTroLineCount = 0;
}

void TResultReader::ProcessNewBytes(const QByteArray& data)
{
    qsizetype done = 0;
    if (FAwaitingLineFeed && !data.isEmpty()) {
        FAwaitingLineFeed = false;
        if (data.at(0) == '\n') { // the rest of a CR LF that the previous pass saw half of
            Consume(data.left(1));
            done = 1;
        }
    }
    while (const auto end = FindLineEnd(data, done)) {
        const TResultLineParse parse = ParseResultLine(FromCp1251(data.mid(done, end->Begin - done)));
        const bool repeated = parse.Result && FBooked.contains(KeyOf(*parse.Result));
        if (parse.Result && !repeated) {
            Book(*parse.Result); // a failure leaves this line to the next pass
            FBooked.insert(KeyOf(*parse.Result));
        }
        const qsizetype next = end->Begin + end->Length;
        Consume(data.mid(done, next - done));
        ++FTroLineCount;
        FAwaitingLineFeed = EndsWithLoneCarriageReturn(data, *end);
        done = next;
        if (!repeated)
            Report(parse);
    }
}

void TResultReader::Book(const TResultLine& result)
{
    if (result.Status == TroStatusDone) {
        if (const std::optional<TTransactionRow> found = FBookings.LookUp(result.TransId))
            FBookings.UpdateOrderNumber(found->Filled, found->IdOrder);
    }
    FBookings.BookResult(result);
}

void TResultReader::Report(const TResultLineParse& parse)
{
    for (const QString& problem : parse.Problems)
        FLog.AddToLog(problem);
    if (parse.Result) {
        const TResultLine& result = *parse.Result;
        if (result.Status == TroStatusDone) {
            const QString text = QStringLiteral("Транзакция номер %1 успешно выполнена.").arg(result.TransId);
            FLog.AddToLog(text);
            ++FTransDoneCount;
            if (FSettings.chSendTrans_done)
                FEvents.Announce(text);
        } else if (result.Status == TroStatusSent) {
            FLog.AddToLog(QStringLiteral("Транзакция номер %1 отправлена на сервер Quik.").arg(result.TransId));
            ++FTransSentCount;
        }
    }
    FEvents.StatusChanged();
}

void TResultReader::Consume(const QByteArray& bytes)
{
    FOffset += bytes.size();
    FTail += bytes;
    if (FTail.size() > TailLength)
        FTail = FTail.right(TailLength);
}
