// A paper-trading stand-in for the strategy platform: it adds order rows to the alert
// database with growing ids, as the platform records its strategies' orders. It plays a
// script of entries, exits, stops, market orders, fills and cancels, or adds filled
// market orders at a given rate. A cancelled active order is moved into CanceledOrders
// with its "Order Number" column, as the platform does.
//
// Script lines (fields separated by "|", blanks around fields ignored, "#" starts a comment):
//   set    | symbol|system|workspace|interval|signal|description | value
//   active | name | LE|SE|LX|SX | order wording        adds an ActiveOrders row
//   filled | LE|SE|LX|SX | order wording | fill price  adds a FilledOrders row
//   fill   | name | fill price                         moves an active row to FilledOrders
//   cancel | name                                      moves an active row to CanceledOrders
//   cancel-id | ID                                     the same for the active row with that ID
//   wait   | milliseconds
//
// Every change is one write transaction begun with BEGIN IMMEDIATE, so it waits for
// another program's write to end rather than failing halfway; a cancel or a fill moves
// its row in one transaction. The wait lasts up to 10 s; when it begins the simulator
// prints "platform-sim: the alert database is locked by another program, waiting".
// Once the database is open (and the script read) it prints the line "ready" on standard
// output and writes the file given by --ready-file, as told in SimulatorReady.h; then it
// prints one line per row it adds.

#include "tools/SimulatorReady.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <cstdio>
#include <sqlite3.h>
#include <stdexcept>

namespace {

struct TRowDefaults {
    QString Symbol = QStringLiteral("SBER");
    QString Description = QStringLiteral("Sberbank");
    QString System = QStringLiteral("Trend(5,10)");
    QString Workspace = QStringLiteral("C:\\Omega\\MyWork\\Demo.wsp");
    QString Interval = QStringLiteral("5 min");
    QString Signal = QStringLiteral("Signal");
};

void Fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

// How long a write waits for another program's write transaction to end.
constexpr int kBusyLimitMs = 10000;

class TPlatformSim {
public:
    explicit TPlatformSim(const QString& path)
    {
        FDb = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("platform-sim"));
        FDb.setDatabaseName(QStringLiteral("file:") + path + QStringLiteral("?mode=rw"));
        FDb.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyLimitMs));
        if (!QFile::exists(path) || !FDb.open())
            Fail(QStringLiteral("cannot open the alert database %1: %2").arg(path, FDb.lastError().text()));
        // The same wait as the driver's busy timeout, with a line when it begins. Should the
        // driver not be SQLite's own, its busy timeout stays.
        const QVariant handle = FDb.driver()->handle();
        if (qstrcmp(handle.typeName(), "sqlite3*") == 0)
            sqlite3_busy_handler(*static_cast<sqlite3* const*>(handle.constData()), &TPlatformSim::OnBusy, this);
    }

    void Run(const QStringList& lines)
    {
        int number = 0;
        for (const QString& raw : lines) {
            ++number;
            const QString line = raw.section(QLatin1Char('#'), 0, 0).trimmed();
            if (line.isEmpty())
                continue;
            QStringList f = line.split(QLatin1Char('|'));
            for (QString& field : f)
                field = field.trimmed();
            try {
                Command(f);
            } catch (const std::exception& error) {
                Fail(QStringLiteral("line %1: %2").arg(number).arg(QString::fromUtf8(error.what())));
            }
        }
    }

    void AddFilledAtRate(int rate, int count)
    {
        for (int i = 0; i < count; ++i) {
            Write([&] {
                Insert(QStringLiteral("FilledOrders"), Row(QStringLiteral("LE"), QStringLiteral("Buy 1 at 100.00 Market")),
                       100.0, QString());
            });
            QThread::msleep(static_cast<unsigned long>(1000 / std::max(1, rate)));
        }
    }

private:
    void Command(const QStringList& f)
    {
        const QString verb = f.value(0).toLower();
        if (verb == QLatin1String("set") && f.size() == 3) {
            const QString key = f[1].toLower();
            if (key == QLatin1String("symbol")) FDefaults.Symbol = f[2];
            else if (key == QLatin1String("system")) FDefaults.System = f[2];
            else if (key == QLatin1String("workspace")) FDefaults.Workspace = f[2];
            else if (key == QLatin1String("interval")) FDefaults.Interval = f[2];
            else if (key == QLatin1String("signal")) FDefaults.Signal = f[2];
            else if (key == QLatin1String("description")) FDefaults.Description = f[2];
            else Fail(QStringLiteral("unknown setting ") + f[1]);
        } else if (verb == QLatin1String("active") && f.size() == 4) {
            Write([&] { FNamed.insert(f[1], Insert(QStringLiteral("ActiveOrders"), Row(f[2], f[3]), 0, QString())); });
        } else if (verb == QLatin1String("filled") && f.size() == 4) {
            const double price = Number(f[3]);
            Write([&] { Insert(QStringLiteral("FilledOrders"), Row(f[1], f[2]), price, QString()); });
        } else if (verb == QLatin1String("fill") && f.size() == 3) {
            const double price = Number(f[2]);
            Write([&] { Move(f[1], QStringLiteral("FilledOrders"), price); });
        } else if (verb == QLatin1String("cancel") && f.size() == 2) {
            Write([&] { Move(f[1], QStringLiteral("CanceledOrders"), 0); });
        } else if (verb == QLatin1String("cancel-id") && f.size() == 2) {
            FNamed.insert(QStringLiteral("#") + f[1], int(Number(f[1])));
            Write([&] { Move(QStringLiteral("#") + f[1], QStringLiteral("CanceledOrders"), 0); });
        } else if (verb == QLatin1String("wait") && f.size() == 2) {
            QThread::msleep(static_cast<unsigned long>(Number(f[1])));
        } else {
            Fail(QStringLiteral("cannot read the command: ") + f.join(QStringLiteral(" | ")));
        }
    }

    static double Number(const QString& text)
    {
        bool ok = false;
        const double value = QLocale::c().toDouble(text, &ok);
        if (!ok)
            Fail(QStringLiteral("not a number: ") + text);
        return value;
    }

    QSqlRecord Row(const QString& orderType, const QString& wording) const
    {
        QSqlRecord row;
        auto put = [&row](const QString& name, const QVariant& value) {
            QSqlField field(name, value.metaType());
            field.setValue(value);
            row.append(field);
        };
        put(QStringLiteral("Symbol"), FDefaults.Symbol);
        put(QStringLiteral("Description"), FDefaults.Description);
        put(QStringLiteral("OrderType"), orderType);
        put(QStringLiteral("Order"), wording);
        put(QStringLiteral("System"), FDefaults.System);
        put(QStringLiteral("Signal"), FDefaults.Signal);
        put(QStringLiteral("Workspace"), FDefaults.Workspace);
        put(QStringLiteral("Interval"), FDefaults.Interval);
        return row;
    }

    // Runs the changes as one write transaction: BEGIN IMMEDIATE takes the write lock at
    // once (waiting, as the busy handler allows, for another program's write to end), so
    // no statement inside meets a lock; a failure rolls everything back.
    template <typename F>
    void Write(F changes)
    {
        Exec(QStringLiteral("BEGIN IMMEDIATE"), {});
        FAdded.clear();
        try {
            changes();
            Exec(QStringLiteral("COMMIT"), {});
        } catch (...) {
            QSqlQuery(FDb).exec(QStringLiteral("ROLLBACK"));
            throw;
        }
        // The rows are printed once committed: whoever reads the line finds the row.
        for (const QString& line : std::as_const(FAdded))
            std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
    }

    // SQLite's busy handler while a write waits for the lock: says once that it waits,
    // then keeps trying every few milliseconds for up to kBusyLimitMs.
    static int OnBusy(void* self, int attempt)
    {
        auto* sim = static_cast<TPlatformSim*>(self);
        if (attempt == 0) {
            sim->FBusyClock.start();
            std::printf("platform-sim: the alert database is locked by another program, waiting\n");
            std::fflush(stdout);
        }
        if (sim->FBusyClock.elapsed() >= kBusyLimitMs)
            return 0;
        sqlite3_sleep(5);
        return 1;
    }

    QSqlQuery Exec(const QString& sql, const QVariantList& values)
    {
        QSqlQuery query(FDb);
        if (!query.prepare(sql))
            Fail(query.lastError().text());
        for (const QVariant& value : values)
            query.addBindValue(value);
        if (!query.exec())
            Fail(query.lastError().text() + QStringLiteral(" in ") + sql);
        return query;
    }

    // Inserts the row with the next id of the table; returns the id.
    int Insert(const QString& table, const QSqlRecord& row, double fillPrice, const QString& orderNumber)
    {
        QSqlQuery last = Exec(QStringLiteral("SELECT COALESCE(MAX(ID), 0) FROM ") + table, {});
        const int id = last.next() ? last.value(0).toInt() + 1 : 1;
        last.finish();
        QStringList names{QStringLiteral("[ID]"), QStringLiteral("[Time Placed]"), QStringLiteral("[Order Number]")};
        QVariantList values{id, QDateTime::currentDateTime(), orderNumber};
        for (int i = 0; i < row.count(); ++i) {
            names << QLatin1Char('[') + row.fieldName(i) + QLatin1Char(']');
            values << row.value(i);
        }
        if (table == QLatin1String("FilledOrders")) {
            names << QStringLiteral("[Fill Price]") << QStringLiteral("[Time Filled]");
            values << fillPrice << QDateTime::currentDateTime();
        } else if (table == QLatin1String("CanceledOrders")) {
            names << QStringLiteral("[Time Canceled]");
            values << QDateTime::currentDateTime();
        }
        QStringList marks;
        for (int i = 0; i < names.size(); ++i)
            marks << QStringLiteral("?");
        Exec(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
             values);
        FAdded << QStringLiteral("platform-sim: %1 #%2 %3").arg(table).arg(id).arg(row.value(QStringLiteral("Order")).toString());
        return id;
    }

    // Moves a named active row into another table, carrying its "Order Number" (inside the
    // caller's write transaction).
    void Move(const QString& name, const QString& table, double fillPrice)
    {
        if (!FNamed.contains(name))
            Fail(QStringLiteral("no active order named ") + name);
        const int id = FNamed.take(name);
        QSqlQuery found = Exec(QStringLiteral("SELECT * FROM ActiveOrders WHERE ID = ?"), {id});
        if (!found.next())
            Fail(QStringLiteral("active order %1 is gone").arg(id));
        QSqlRecord row = Row(found.value(QStringLiteral("OrderType")).toString(),
                             found.value(QStringLiteral("Order")).toString());
        const QString orderNumber = found.value(QStringLiteral("Order Number")).toString();
        found.finish();
        Insert(table, row, fillPrice, orderNumber);
        Exec(QStringLiteral("DELETE FROM ActiveOrders WHERE ID = ?"), {id});
    }

    QSqlDatabase FDb;
    QElapsedTimer FBusyClock;
    QStringList FAdded; // lines about the rows added by the write under way
    TRowDefaults FDefaults;
    QHash<QString, int> FNamed;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Strategy platform simulator: adds order rows to an alert database."));
    parser.addHelpOption();
    const QCommandLineOption db(QStringLiteral("db"), QStringLiteral("Alert database (SQLite file)."), QStringLiteral("path"));
    const QCommandLineOption script(QStringLiteral("script"), QStringLiteral("Script file to play."), QStringLiteral("path"));
    const QCommandLineOption rate(QStringLiteral("rate"), QStringLiteral("Filled market orders per second."), QStringLiteral("n"));
    const QCommandLineOption count(QStringLiteral("count"), QStringLiteral("Number of rows at --rate (default 10)."), QStringLiteral("n"), QStringLiteral("10"));
    const QCommandLineOption readyFile(QStringLiteral("ready-file"),
        QStringLiteral("File written once the database is open (beside the line \"ready\" on standard output)."),
        QStringLiteral("path"));
    parser.addOptions({db, script, rate, count, readyFile});
    parser.process(application);
    if (!parser.isSet(db) || parser.isSet(script) == parser.isSet(rate)) {
        std::fprintf(stderr, "platform-sim: give --db and one of --script or --rate\n");
        return 2;
    }
    try {
        QStringList lines;
        int perSecond = 0, rows = 0;
        if (parser.isSet(script)) {
            QFile file(parser.value(script));
            if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
                Fail(QStringLiteral("cannot read the script ") + file.fileName());
            lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        } else {
            bool okRate = false, okCount = false;
            perSecond = parser.value(rate).toInt(&okRate);
            rows = parser.value(count).toInt(&okCount);
            if (!okRate || !okCount || perSecond < 1 || rows < 0)
                Fail(QStringLiteral("--rate and --count need whole numbers above 0"));
        }
        TPlatformSim sim(parser.value(db));
        if (!AnnounceReady(parser.value(readyFile)))
            Fail(QStringLiteral("cannot write the ready file ") + parser.value(readyFile));
        if (parser.isSet(script))
            sim.Run(lines);
        else
            sim.AddFilledAtRate(perSecond, rows);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "platform-sim: %s\n", error.what());
        return 1;
    }
    return 0;
}
