// A paper-trading stand-in for the trading terminal. It follows the transaction import
// file, answers every transaction in the result file (status "0" at once, status "3" with
// a unique exchange order number after a delay), and keeps its info.log growing while its
// link is up. A control file lets a test or the operator drop the link, stop answering,
// reject every n-th transaction, set a security's last price or, as a broker's flood
// control does, reject the transactions above a rate while it runs. It only ever appends
// to what it writes.
//
// It keeps the orders it accepted. A market order (Zovrant writes one as a limit order
// whose PRICE equals its STOPPRICE) and a limit order that crosses the last price set for
// its security fill at once; any other limit order and every stop order rests until it is
// withdrawn or, for a limit order, a new last price crosses it (it is then answered as for
// an execution once more, with the description "Order filled"). A withdrawal of a resting
// order is answered "Order withdrawn" and the order removed; a withdrawal of an order it
// does not know, or of one filled or withdrawn, is refused with status "4", naming the
// order in ORDER_NUMBER.
//
// It follows the import file from where that file ends when the simulator starts (or from
// its start once it becomes shorter). Once it has taken that position it prints the line
// "ready" on standard output (and writes the file given by --ready-file), as told in
// SimulatorReady.h: whoever starts it waits for that line before anything is written to
// the import file, or those lines go unanswered. Each change the control file makes is
// printed as a line of its own once it applies ("link down", "link up", "silent",
// "answer", "reject every N", "max rate N"), so a test can wait for it instead of waiting
// a while.

#include "tools/SimulatorReady.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <deque>

namespace {

struct TOptions {
    QString Tri, Tro, InfoLog, Control;
    int DelayMs = 300;
    int PollMs = 100;
    int InfoIntervalMs = 500;
    int RejectEvery = 0;
    int MaxRate = 0; // transactions taken in any second; 0: no limit
    qint64 FirstOrderNumber = 100001;
};

struct TPendingFill {
    qint64 DueMs;
    QByteArray Line;
};

// An order the simulator accepted.
struct TSimOrder {
    enum class TState { Resting, Filled, Withdrawn };
    QByteArray TransId;
    QString SecCode;
    bool Buy = true;
    bool Stop = false;
    double Price = 0;
    TState State = TState::Resting;
};

// Whether a limit order at `price` trades against the last price.
bool Crosses(const TSimOrder& order, double last)
{
    return order.Buy ? order.Price >= last : order.Price <= last;
}

// The key=value pairs of one transaction line ("TRANS_ID =7;ACTION=NEW_ORDER;...").
QHash<QString, QString> ParsePairs(const QString& line)
{
    QHash<QString, QString> pairs;
    for (const QString& pair : line.split(QLatin1Char(';'))) {
        const int eq = pair.indexOf(QLatin1Char('='));
        if (eq > 0)
            pairs.insert(pair.left(eq).trimmed().toUpper(), pair.mid(eq + 1).trimmed());
    }
    return pairs;
}

bool AppendTo(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    return file.write(bytes) == bytes.size();
}

class TTerminalSim {
public:
    explicit TTerminalSim(const TOptions& options)
        : FOptions(options), FNextOrderNumber(options.FirstOrderNumber)
    {
        FTriOffset = QFileInfo(options.Tri).size(); // follow from the current end
        FSince.start();
    }

    void Tick()
    {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        ReadControl();
        if (FLinkUp && now - FLastInfoMs >= FOptions.InfoIntervalMs) {
            AppendTo(FOptions.InfoLog, QDateTime::currentDateTime()
                                           .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
                                           .toLatin1() + " link alive\r\n");
            FLastInfoMs = now;
        }
        if (!FAnswering)
            return;
        for (const QString& line : NewTriLines())
            Answer(line, now);
        while (!FFills.empty() && FFills.front().DueMs <= now) {
            AppendTo(FOptions.Tro, FFills.front().Line);
            FFills.pop_front();
        }
    }

private:
    void ReadControl()
    {
        if (FOptions.Control.isEmpty())
            return;
        QFile file(FOptions.Control);
        if (!file.open(QIODevice::ReadOnly))
            return;
        for (const QByteArray& raw : file.readAll().split('\n')) {
            const QByteArray word = raw.trimmed();
            if (word == "link down") Set(FLinkUp, false, word);
            else if (word == "link up") Set(FLinkUp, true, word);
            else if (word == "silent") Set(FAnswering, false, word);
            else if (word == "answer") Set(FAnswering, true, word);
            else if (word.startsWith("reject every "))
                Set(FOptions.RejectEvery, word.mid(13).toInt(), word);
            else if (word.startsWith("quote "))
                Quote(word);
            else if (word.startsWith("max rate "))
                Set(FOptions.MaxRate, word.mid(9).toInt(), word);
        }
    }

    // "quote SECCODE PRICE": the security's last price; the resting limit orders it
    // crosses fill, each answered as for an execution.
    void Quote(const QByteArray& word)
    {
        const QList<QByteArray> parts = word.simplified().split(' ');
        bool ok = false;
        const double last = parts.size() == 3 ? parts[2].toDouble(&ok) : 0;
        if (!ok)
            return;
        const QString secCode = QString::fromLatin1(parts[1]);
        if (FQuoteWords.value(secCode) == word)
            return; // applied already
        FQuoteWords.insert(secCode, word);
        FQuotes.insert(secCode, last);
        for (auto it = FOrders.begin(); it != FOrders.end(); ++it) {
            TSimOrder& order = it.value();
            if (order.State != TSimOrder::TState::Resting || order.Stop || order.SecCode != secCode
                || !Crosses(order, last))
                continue;
            order.State = TSimOrder::TState::Filled;
            AppendTo(FOptions.Tro, "TRANS_ID=" + order.TransId + ";STATUS=3;TRANS_NAME=\"New order\";"
                                   "DESCRIPTION=\"Order filled\";ORDER_NUMBER=" + QByteArray::number(it.key()) + ";\r\n");
        }
        std::printf("%s\n", word.constData());
        std::fflush(stdout);
    }

    // Applies one control word; a change is printed on standard output.
    template <typename T>
    static void Set(T& state, T value, const QByteArray& word)
    {
        if (state == value)
            return;
        state = value;
        std::printf("%s\n", word.constData());
        std::fflush(stdout);
    }

    // Complete lines appended to the import file since the last look. A file that became
    // shorter was emptied (Zovrant does that when it starts): read it from the start.
    QStringList NewTriLines()
    {
        QFile file(FOptions.Tri);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        if (file.size() < FTriOffset)
            FTriOffset = 0;
        file.seek(FTriOffset);
        const QByteArray bytes = file.readAll();
        const int end = bytes.lastIndexOf('\n');
        if (end < 0)
            return {};
        FTriOffset += end + 1;
        QStringList lines;
        for (const QByteArray& raw : bytes.left(end).split('\n')) {
            const QByteArray line = raw.trimmed();
            if (!line.isEmpty())
                lines << QString::fromLatin1(line);
        }
        return lines;
    }

    void Answer(const QString& line, qint64 now)
    {
        const QHash<QString, QString> pairs = ParsePairs(line);
        bool ok = false;
        const qint64 transId = pairs.value(QStringLiteral("TRANS_ID")).toLongLong(&ok);
        if (!ok) {
            std::fprintf(stderr, "terminal-sim: no TRANS_ID in: %s\n", qPrintable(line));
            return;
        }
        const QString action = pairs.value(QStringLiteral("ACTION"));
        const bool kill = action.startsWith(QStringLiteral("KILL"));
        const QByteArray id = QByteArray::number(transId);
        if (OverRate()) {
            // Flood control: refused at once, never passed to the server.
            AppendTo(FOptions.Tro, "TRANS_ID=" + id + ";STATUS=4;TRANS_NAME=\"" + Name(kill)
                                       + "\";DESCRIPTION=\"Flood control: more than "
                                       + QByteArray::number(FOptions.MaxRate)
                                       + " transactions a second\";ORDER_NUMBER=0;\r\n");
            return;
        }
        AppendTo(FOptions.Tro, "TRANS_ID=" + id + ";STATUS=0;TRANS_NAME=\"" + Name(kill)
                                   + "\";DESCRIPTION=\"Sent to the server\";ORDER_NUMBER=0;\r\n");
        ++FCount;
        if (FOptions.RejectEvery > 0 && FCount % FOptions.RejectEvery == 0) {
            FFills.push_back({now + FOptions.DelayMs,
                              "TRANS_ID=" + id + ";STATUS=4;TRANS_NAME=\"" + Name(kill)
                                  + "\";DESCRIPTION=\"Rejected by the exchange\";ORDER_NUMBER=0;\r\n"});
            return;
        }
        if (kill) {
            Withdraw(id, pairs.value(QStringLiteral("ORDER_KEY")).toLatin1(), now);
            return;
        }
        const qint64 number = FNextOrderNumber++;
        Accept(number, id, action, pairs);
        FFills.push_back({now + FOptions.DelayMs,
                          "TRANS_ID=" + id + ";STATUS=3;TRANS_NAME=\"" + Name(kill)
                              + "\";DESCRIPTION=\"Order registered\";ORDER_NUMBER=" + QByteArray::number(number)
                              + ";\r\n"});
    }

    // Keeps a new order: a market order, or a limit order that crosses the last price,
    // fills at once; anything else rests.
    void Accept(qint64 number, const QByteArray& transId, const QString& action, const QHash<QString, QString>& pairs)
    {
        TSimOrder order;
        order.TransId = transId;
        order.SecCode = pairs.value(QStringLiteral("SECCODE"));
        order.Buy = pairs.value(QStringLiteral("OPERATION")) != QLatin1String("S");
        order.Stop = action == QLatin1String("NEW_STOP_ORDER");
        order.Price = pairs.value(QStringLiteral("PRICE")).toDouble();
        const bool market = !order.Stop && pairs.value(QStringLiteral("PRICE")) == pairs.value(QStringLiteral("STOPPRICE"));
        const auto last = FQuotes.constFind(order.SecCode);
        if (market || (!order.Stop && last != FQuotes.cend() && Crosses(order, *last)))
            order.State = TSimOrder::TState::Filled;
        FOrders.insert(number, order);
    }

    // A withdrawal: done for a resting order, refused for any other.
    void Withdraw(const QByteArray& transId, const QByteArray& key, qint64 now)
    {
        bool ok = false;
        const auto found = FOrders.find(key.toLongLong(&ok));
        QByteArray refusal;
        if (!ok || found == FOrders.end())
            refusal = "No such order";
        else if (found->State == TSimOrder::TState::Filled)
            refusal = "Order already filled";
        else if (found->State == TSimOrder::TState::Withdrawn)
            refusal = "Order already withdrawn";
        if (!refusal.isEmpty()) {
            FFills.push_back({now + FOptions.DelayMs, "TRANS_ID=" + transId + ";STATUS=4;TRANS_NAME=\"Kill order\";"
                                                      "DESCRIPTION=\"" + refusal + "\";ORDER_NUMBER=" + key + ";\r\n"});
            return;
        }
        found->State = TSimOrder::TState::Withdrawn;
        FFills.push_back({now + FOptions.DelayMs, "TRANS_ID=" + transId + ";STATUS=3;TRANS_NAME=\"Kill order\";"
                                                  "DESCRIPTION=\"Order withdrawn\";ORDER_NUMBER=" + key + ";\r\n"});
    }

    // Whether one more transaction now would make more than MaxRate taken in the last
    // second (a line counts from the moment it is read); otherwise it is counted.
    bool OverRate()
    {
        if (FOptions.MaxRate <= 0)
            return false;
        const qint64 now = FSince.elapsed();
        while (!FTaken.empty() && FTaken.front() + 1000 <= now)
            FTaken.pop_front();
        if (FTaken.size() >= std::size_t(FOptions.MaxRate))
            return true;
        FTaken.push_back(now);
        return false;
    }

    static QByteArray Name(bool kill) { return kill ? "Kill order" : "New order"; }

    TOptions FOptions;
    qint64 FTriOffset = 0;
    qint64 FNextOrderNumber;
    qint64 FLastInfoMs = 0;
    qint64 FCount = 0;
    bool FLinkUp = true;
    bool FAnswering = true;
    std::deque<TPendingFill> FFills;
    // The orders accepted, by exchange number; the last price of each security and the
    // control word that set it.
    QHash<qint64, TSimOrder> FOrders;
    QHash<QString, double> FQuotes;
    QHash<QString, QByteArray> FQuoteWords;
    QElapsedTimer FSince;
    std::deque<qint64> FTaken; // when each transaction of the last second was taken
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Trading terminal simulator for paper trading."));
    parser.addHelpOption();
    const QCommandLineOption tri(QStringLiteral("tri"), QStringLiteral("Transaction import file."), QStringLiteral("path"));
    const QCommandLineOption tro(QStringLiteral("tro"), QStringLiteral("Transaction result file."), QStringLiteral("path"));
    const QCommandLineOption info(QStringLiteral("info-log"), QStringLiteral("Terminal log kept growing while connected."), QStringLiteral("path"));
    const QCommandLineOption control(QStringLiteral("control"),
        QStringLiteral("Control file, read on every poll: lines \"link down\", \"link up\", \"silent\", \"answer\", \"reject every N\", \"quote SECCODE PRICE\", \"max rate N\"."),
        QStringLiteral("path"));
    const QCommandLineOption delay(QStringLiteral("delay-ms"), QStringLiteral("Delay before the execution report (default 300)."), QStringLiteral("ms"), QStringLiteral("300"));
    const QCommandLineOption poll(QStringLiteral("poll-ms"), QStringLiteral("Poll period (default 100)."), QStringLiteral("ms"), QStringLiteral("100"));
    const QCommandLineOption infoInterval(QStringLiteral("info-interval-ms"), QStringLiteral("Period of info.log growth (default 500)."), QStringLiteral("ms"), QStringLiteral("500"));
    const QCommandLineOption reject(QStringLiteral("reject-every"), QStringLiteral("Reject every n-th transaction (0: none)."), QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption first(QStringLiteral("first-order-number"), QStringLiteral("First exchange order number."), QStringLiteral("n"), QStringLiteral("100001"));
    const QCommandLineOption readyFile(QStringLiteral("ready-file"),
        QStringLiteral("File written once the simulator follows the import file (beside the line \"ready\" on standard output)."),
        QStringLiteral("path"));
    parser.addOptions({tri, tro, info, control, delay, poll, infoInterval, reject, first, readyFile});
    parser.process(application);
    if (!parser.isSet(tri) || !parser.isSet(tro) || !parser.isSet(info)) {
        std::fprintf(stderr, "terminal-sim: --tri, --tro and --info-log are required\n");
        return 2;
    }

    TOptions options;
    options.Tri = parser.value(tri);
    options.Tro = parser.value(tro);
    options.InfoLog = parser.value(info);
    options.Control = parser.value(control);
    bool ok = true;
    auto number = [&](const QCommandLineOption& option) {
        bool good = false;
        const qint64 value = parser.value(option).toLongLong(&good);
        if (!good || value < 0) {
            std::fprintf(stderr, "terminal-sim: --%s needs a whole number\n", qPrintable(option.names().first()));
            ok = false;
        }
        return value;
    };
    options.DelayMs = int(number(delay));
    options.PollMs = int(number(poll));
    options.InfoIntervalMs = int(number(infoInterval));
    options.RejectEvery = int(number(reject));
    options.FirstOrderNumber = number(first);
    if (!ok)
        return 2;

    TTerminalSim sim(options);
    if (!AnnounceReady(parser.value(readyFile))) {
        std::fprintf(stderr, "terminal-sim: cannot write the ready file %s\n", qPrintable(parser.value(readyFile)));
        return 1;
    }
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&sim] { sim.Tick(); });
    timer.start(std::max(1, options.PollMs));
    return QCoreApplication::exec();
}
