#include "trade/ResultReader.h"

#include "base/CodePage.h"
#include "base/CoreEvents.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/Settings.h"

#include <QFile>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <exception>
#include <vector>

namespace {

// How many bytes before the remembered position are kept to recognise the same file.
constexpr qsizetype TailLength = 64;
// How much of the file one slice reads at most: a burst of results is read a piece at a
// time, not again in full at every slice. A line longer than that is read whole.
constexpr qint64 ReadPieceBytes = 1 << 20;

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

// The lines of one slice: how far into the data they reach and what they leave to report
// once their bookings are stored.
struct TResultReader::TSlice {
    qsizetype Done = 0;
    int Lines = 0;
    bool AwaitingLineFeed = false;
    std::vector<TLineReport> Reports; // the lines that repeat no result booked before
    std::set<TResultKey> Booked;
};

TResultReader::TResultReader(TSettings& settings, TOperationLog& log, TResultBookings& bookings,
                             TCoreEvents& events)
    : FSettings(settings), FLog(log), FBookings(bookings), FEvents(events)
{
    FContinue.setSingleShot(true);
    FContinue.setInterval(0);
    QObject::connect(&FContinue, &QTimer::timeout, &FContinue, [this] {
        const auto pass = [this] { actCheckTROExecute(); };
        if (Guard) {
            Guard(pass);
            return;
        }
        try {
            pass();
        } catch (const std::exception& error) {
            FLog.AddToLog(ErrorText(error));
        } catch (...) {
            FLog.AddToLog(QStringLiteral("Неизвестная ошибка при чтении файла результатов."));
        }
    });
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

    bool more = false;
    try {
        if (WasReplaced(file, file.size()))
            StartOver(file);
        if (!file.seek(FOffset))
            throw TError(ReadFailure(path, file));
        QByteArray data = file.read(ReadPieceBytes);
        const bool piece = data.size() == ReadPieceBytes;
        if (piece && !FindLineEnd(data, 0))
            data += file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw TError(ReadFailure(path, file));
        more = ProcessNewBytes(data) || piece;
    } catch (...) {
        // The lines done before the failure stay done; their log lines reach the file.
        // A failure to save is left for the next save: the lines stay in the log.
        FLog.SaveLogQuietly();
        throw;
    }
    if (more)
        FContinue.start();
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

bool TResultReader::ProcessNewBytes(const QByteArray& data)
{
    if (data.isEmpty())
        return false;
    TSlice slice;
    slice.AwaitingLineFeed = FAwaitingLineFeed;
    bool more = false;
    QElapsedTimer clock;
    clock.start();
    std::exception_ptr failure;
    FBookings.BeginBookings();
    try {
        if (slice.AwaitingLineFeed) {
            slice.AwaitingLineFeed = false;
            if (data.at(0) == '\n') // the rest of a CR LF that the previous pass saw half of
                slice.Done = 1;
        }
        while (const auto end = FindLineEnd(data, slice.Done)) {
            if (slice.Lines > 0 && clock.elapsed() >= SliceMs) {
                more = true;
                break;
            }
            TLineReport report;
            report.Line = FromCp1251(data.mid(slice.Done, end->Begin - slice.Done));
            report.Parse = ParseResultLine(report.Line);
            bool repeated = false;
            if (report.Parse.Result) {
                const TResultKey key = KeyOf(*report.Parse.Result);
                repeated = FBooked.count(key) > 0 || slice.Booked.count(key) > 0;
                if (!repeated) {
                    // A failure leaves this line to the next pass.
                    report.Outcome = Book(*report.Parse.Result, report.Row);
                    slice.Booked.insert(key);
                }
            }
            slice.Done = end->Begin + end->Length;
            ++slice.Lines;
            slice.AwaitingLineFeed = EndsWithLoneCarriageReturn(data, *end);
            if (!repeated)
                slice.Reports.push_back(std::move(report));
        }
    } catch (...) {
        failure = std::current_exception();
    }
    // What was booked before a failure is stored and passed; a failed commit stores and
    // passes nothing, and the next pass books the same lines again.
    try {
        FBookings.CommitBookings();
    } catch (const std::exception& error) {
        FBookings.RollbackBookings();
        if (!failure)
            throw;
        FLog.AddToLog(ErrorText(error));
        std::rethrow_exception(failure);
    }
    Accept(slice, data);
    if (failure)
        std::rethrow_exception(failure);
    return more;
}

void TResultReader::Accept(TSlice& slice, const QByteArray& data)
{
    Consume(QByteArrayView(data).first(slice.Done));
    FTroLineCount += slice.Lines;
    FAwaitingLineFeed = slice.AwaitingLineFeed;
    FBooked.merge(slice.Booked);
    for (const TLineReport& report : slice.Reports)
        Report(report);
    if (!Booked)
        return;
    for (const TLineReport& report : slice.Reports) {
        if (report.Parse.Result && report.Outcome == TOutcome::Booked)
            Booked(*report.Parse.Result, report.Row);
    }
}

TResultReader::TOutcome TResultReader::Book(const TResultLine& result, TTransactionRow& row)
{
    const std::optional<TTransactionRow> found = FBookings.LookUp(result.TransId);
    if (!found)
        return TOutcome::Unknown; // another program's transaction, or a forged line
    row = *found;
    // Once the exchange has numbered the order, that number is the one a withdrawal must
    // name: another number (or none) in a later line would withdraw a foreign order.
    if (row.OrderNumber > 0 && result.OrderNumber && *result.OrderNumber != row.OrderNumber)
        return TOutcome::Conflict;
    if (result.Status == TroStatusDone)
        FBookings.UpdateOrderNumber(row.Filled, row.IdOrder);
    FBookings.BookResult(result);
    return TOutcome::Booked;
}

void TResultReader::Report(const TLineReport& report)
{
    const TResultLineParse& parse = report.Parse;
    for (const QString& problem : parse.Problems)
        FLog.AddToLog(problem);
    if (parse.Result && report.Outcome == TOutcome::Unknown) {
        FLog.AddToLog(QStringLiteral("Результат транзакции номер %1 не учтён: такую транзакцию эта программа не "
                                     "отправляла. Строка: \"%2\"")
                          .arg(parse.Result->TransId)
                          .arg(LogFragment(report.Line)));
    } else if (parse.Result && report.Outcome == TOutcome::Conflict) {
        FLog.AddToLog(QStringLiteral("Результат транзакции номер %1 не учтён: у транзакции уже есть номер заявки %2, "
                                     "а строка называет другой. Строка: \"%3\"")
                          .arg(parse.Result->TransId)
                          .arg(report.Row.OrderNumber)
                          .arg(LogFragment(report.Line)));
    } else if (parse.Result) {
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

void TResultReader::Consume(QByteArrayView bytes)
{
    FOffset += bytes.size();
    if (bytes.size() >= TailLength) {
        FTail = bytes.last(TailLength).toByteArray();
        return;
    }
    FTail += bytes;
    if (FTail.size() > TailLength)
        FTail = FTail.right(TailLength);
}
