#pragma once

#include "base/CoreEvents.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/BridgeHolder.h"
#include "data/DatMod.h"
#include "data/Settings.h"
#include "intake/Dispatch.h"
#include "intake/ManualOrders.h"
#include "intake/OrderFilters.h"
#include "intake/OrderIntake.h"
#include "intake/Withdrawals.h"
#include "tests/support/FakeTradeLookup.h"
#include "tests/support/FakeTransactionBookings.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RecordingEvents.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/TestEnvironment.h"
#include "trade/OrderBuilder.h"
#include "trade/PositionSize.h"
#include "trade/TransactionSender.h"
#include "trade/TransWriter.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

// One transaction the dispatch handed to the sender.
struct TSentTransaction {
    TOrder Order;
    TOmegaOrder Omega;
};

// The writer and the sender of a dispatch, recording what they are asked to do instead
// of doing it: "send <client> <order id>" and "write", in the order they happened.
class TRecordingWriter : public TTransWriter {
public:
    using TTransWriter::TTransWriter;
    QStringList* Calls = nullptr;
    bool Fail = false;

    void WriteTransFile() override
    {
        *Calls << QStringLiteral("write");
        if (Fail)
            throw TError(QStringLiteral("Диск переполнен"));
    }
};

class TRecordingSender : public TTransactionSender {
public:
    using TTransactionSender::TTransactionSender;
    QStringList* Calls = nullptr;
    QList<TSentTransaction>* Sent = nullptr;
    std::function<void(const TOrder&)> OnSend;

    void SendTransaction(const TOrder& order, const TOmegaOrder& omega) override
    {
        *Sent << TSentTransaction{order, omega};
        *Calls << QStringLiteral("send %1 %2").arg(order.ClientCode).arg(order.OrderId);
        if (OnSend)
            OnSend(order);
    }
};

// The intake over both test databases: the data module connected to them, the settings,
// the operation log writing to a file of the test folder, the real builders over a test
// lookup, and a sender and a writer recording what they are given. The parameter is the
// engine the databases are reached through.
class IntakeFixture : public ::testing::TestWithParam<TTestEngine> {
protected:
    TTestEnvironment Env;
    TTestDatabases Bases{GetParam()};
    TSettings Settings;
    TOperationLog Log{Env.Environment};
    TDatMod DatMod{Env.Environment};
    TFakeTradeLookup Lookup;
    TOrderBuilder Builder{Settings, Env.Environment, Log, Lookup};
    TRecordingEvents Events; // what the sender announces (mail), for the tests that look
    TFakeTransactionBookings Bookings;
    TRecordingWriter Writer{Settings, Env.Environment, Log};
    TRecordingSender Sender{Settings, Writer, Bookings, Log, Events};
    TDispatcher Dispatcher{Settings, DatMod, Builder, Sender, Writer, Log, Env.Environment};
    TOrderFilters Filters{DatMod, Settings, Env.Environment};
    TWithdrawals Withdrawals{Settings, DatMod, Dispatcher, Log, Events, Env.Environment};
    TOrderIntake Intake{DatMod, Filters, Dispatcher, Withdrawals, Log, Env.Environment};
    TBridgeHolder Holder{Settings, DatMod.conQuikData(), Env.Environment, Log};
    TManualOrders Manual{Settings, Holder, DatMod, Dispatcher, Log, Env.Environment};

    QList<TSentTransaction> Sent;
    // "send <client> <order id>" and "write", in the order they happened.
    QStringList Calls;
    std::function<void(const TOrder&)>& OnSend = Sender.OnSend;
    bool& FailWrite = Writer.Fail;

    void SetUp() override
    {
        Log.OpenFile(Bases.FilePath(QStringLiteral("Zovrant.log")));
        Env.Clock = QDateTime(QDate(2008, 12, 9), QTime(12, 0, 0));
        Settings.edtTime1 = QStringLiteral("10:30:00");
        Settings.edtTime2 = QStringLiteral("18:45:00");
        Settings.rgpSingleMulti = smSingle;
        Settings.rgpPositionSize = psOmegaQuantity;
        Settings.chExitQty = false;
        Settings.edtCode = QStringLiteral("111");
        Settings.edtAccountMicex = QStringLiteral("L01-00000F00");
        Settings.edtAccountFORTS = QStringLiteral("SPB");
        // The manual commands hold the import file (through a lock file beside it).
        Settings.edtTRI = Bases.FilePath(QStringLiteral("trans.tri"));
        Settings.edtTRO = Bases.FilePath(QStringLiteral("trans.tro"));

        TSecurityRow security;
        security.SecCode = QStringLiteral("ABCD");
        security.ClassCode = QStringLiteral("EQBR");
        security.Digits = 2;
        security.Traded = true;
        security.Slippage = 1;
        security.LotSize = 1;
        Lookup.Securities.insert(QStringLiteral("ABC"), security);
        TSecurityRow future = security;
        future.SecCode = QStringLiteral("RIH9");
        future.ClassCode = QStringLiteral("SPBFUT");
        Lookup.Securities.insert(QStringLiteral("RTS"), future);

        Bases.Insert(Bases.BridgePath(), QStringLiteral("tWorkSpaces"), {{QStringLiteral("workspace"), QStringLiteral("futures.WSP")}});
        Bases.Insert(Bases.BridgePath(), QStringLiteral("tStrategy"), {{QStringLiteral("strategy"), QStringLiteral("Trend")}});

        Writer.Calls = &Calls;
        Sender.Calls = &Calls;
        Sender.Sent = &Sent;
        Connect();
    }

    void Connect()
    {
        DatMod.conOmega().Open(Bases.AlertsSource());
        DatMod.conQuikData().Open(Bases.BridgeSource());
        for (TTable* table : {&DatMod.tActiveOrders(), &DatMod.tFilledOrders(), &DatMod.tCanceledOrders(),
                              &DatMod.tWorkSpaces(), &DatMod.tStrategy()})
            table->Open();
    }

    // A row of an alert table, by default an order every filter accepts; the id given.
    void AddOrder(const QString& table, qint64 id, const QVariantMap& changes = {})
    {
        QVariantMap values{
            {QStringLiteral("ID"), id},
            {QStringLiteral("Symbol"), QStringLiteral("ABC")},
            {QStringLiteral("Description"), QStringLiteral("ABC common")},
            {QStringLiteral("OrderType"), QStringLiteral("LE")},
            {QStringLiteral("Order"), QStringLiteral("Buy 3 at 100 Limit")},
            {QStringLiteral("System"), QStringLiteral("Trend(5,10)")},
            {QStringLiteral("Workspace"), QStringLiteral("C:\\Work\\Futures.wsp")},
            {QStringLiteral("Signal"), QStringLiteral("Breakout")},
            {QStringLiteral("Interval"), QStringLiteral("5 min")},
        };
        // A filled order goes out at its fill price.
        if (table == QLatin1String("FilledOrders"))
            values.insert(QStringLiteral("Fill Price"), 100.0);
        for (auto it = changes.cbegin(); it != changes.cend(); ++it)
            values.insert(it.key(), it.value());
        Bases.Insert(Bases.AlertsPath(), table, values);
    }

    void AddClient(const QString& code, bool active, const QString& micex, const QString& forts)
    {
        Bases.Insert(Bases.BridgePath(), QStringLiteral("tclients"),
                     {{QStringLiteral("Code"), code}, {QStringLiteral("Active"), active},
                      {QStringLiteral("AccountMicex"), micex}, {QStringLiteral("AccountFORTS"), forts}});
    }

    // The log's messages without their date and time.
    QStringList LogMessages() const
    {
        static const QRegularExpression stamp(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4} \\d{1,2}:\\d\\d:\\d\\d "));
        QStringList lines;
        for (int i = 0; i < Log.LineCount(); ++i)
            lines << Log.Line(i).remove(stamp);
        return lines;
    }
    bool LogSaved() const { return Log.LoggedLineCount() == Log.LineCount(); }

    QList<qint32> SentIds() const
    {
        QList<qint32> ids;
        for (const TSentTransaction& sent : Sent)
            ids << sent.Order.OrderId;
        return ids;
    }
};

inline std::string EngineTestName(const ::testing::TestParamInfo<TTestEngine>& info)
{
    return EngineName(info.param);
}
