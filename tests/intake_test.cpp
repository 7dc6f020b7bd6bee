#include "tests/support/IntakeFixture.h"

#include <limits>

namespace {

const QString Active = QStringLiteral("ActiveOrders");
const QString Filled = QStringLiteral("FilledOrders");
const QString Canceled = QStringLiteral("CanceledOrders");

class IntakeTest : public IntakeFixture {
protected:
    void AddOrders(const QString& table, std::initializer_list<qint64> ids)
    {
        for (qint64 id : ids)
            AddOrder(table, id);
    }
};

TEST_P(IntakeTest, EachReaderTakesTheRowsAboveItsIdUpToTheLastOne)
{
    struct Case {
        QString table;
        TQuery& query;
        TOrderIntake::TAlertTable alertTable;
        std::function<void()> load;
    };
    const Case cases[] = {
        {Active, DatMod.qActiveOrders(), TOrderIntake::TAlertTable::Active, [this] { Intake.LoadActiveOrders(); }},
        {Filled, DatMod.qFilledOrders(), TOrderIntake::TAlertTable::Filled, [this] { Intake.LoadFilledOrders(true); }},
        {Canceled, DatMod.qCanceledOrders(), TOrderIntake::TAlertTable::Canceled, [this] { Intake.LoadCanceledOrders(); }},
    };
    for (const Case& c : cases) {
        for (qint64 id = 40; id <= 45; ++id)
            AddOrder(c.table, id, {{QStringLiteral("Order Number"), QString::number(id)}});
        Lookup.OrderNumbers.clear();
        for (int id = 40; id <= 45; ++id)
            Lookup.OrderNumbers.insert(QStringLiteral("%1/0/111").arg(id), QStringLiteral("77%1").arg(id));
        Sent.clear();
        Intake.SetLastId(c.alertTable, 41);
        c.load();
        EXPECT_EQ(c.query.SQL, (QStringList{QStringLiteral("SELECT *"), QStringLiteral("FROM ") + c.table,
                                            QStringLiteral("WHERE id >41 and id <=45")}))
            << c.table.toStdString();
        EXPECT_EQ(SentIds(), (QList<qint32>{42, 43, 44, 45})) << c.table.toStdString();
        EXPECT_EQ(Intake.LastId(c.alertTable), 45);

        // Nothing new: no statement at all, and the log is still saved.
        c.query.Close();
        c.query.SQL = QStringList{QStringLiteral("untouched")};
        Log.AddToLog(QStringLiteral("not saved yet"));
        c.load();
        EXPECT_EQ(c.query.SQL, QStringList{QStringLiteral("untouched")}) << c.table.toStdString();
        EXPECT_FALSE(c.query.Active());
        EXPECT_TRUE(LogSaved());
        EXPECT_EQ(Sent.size(), 4);
    }
    EXPECT_TRUE(Env.Errors.isEmpty());
}

TEST_P(IntakeTest, EmptyTableThenItsFirstRow)
{
    Intake.LoadActiveOrders();
    EXPECT_EQ(Intake.LastId(TOrderIntake::TAlertTable::Active), 0);
    EXPECT_FALSE(DatMod.qActiveOrders().Active());
    AddOrder(Active, 1);
    Intake.LoadActiveOrders();
    EXPECT_EQ(SentIds(), QList<qint32>{1});
    EXPECT_FALSE(Intake.ActiveBusy());
}

TEST_P(IntakeTest, FilledRowsByOrderSource)
{
    AddOrder(Filled, 1, {{QStringLiteral("Order Number"), QStringLiteral("1")}});
    AddOrder(Filled, 2, {{QStringLiteral("Fill Price"), 101.25},
                         {QStringLiteral("Time Filled"), QDateTime(QDate(2008, 12, 9), QTime(11, 59, 30))}});

    // ActiveOrders mode: a row with an order number was placed from ActiveOrders already.
    Intake.LoadFilledOrders(false);
    ASSERT_EQ(SentIds(), QList<qint32>{2});
    EXPECT_TRUE(Sent[0].Omega.Filled);
    EXPECT_DOUBLE_EQ(Sent[0].Omega.FillPrice, 101.25);
    EXPECT_EQ(Sent[0].Omega.TimeFilled, QDateTime(QDate(2008, 12, 9), QTime(11, 59, 30)));
    EXPECT_EQ(Sent[0].Omega.Signal, QStringLiteral("Breakout"));
    EXPECT_EQ(Sent[0].Order.Action, QStringLiteral("NEW_ORDER"));
    EXPECT_EQ(Log.LineCount(), 0);

    // FilledOrders mode: every row.
    Intake.SetLastId(TOrderIntake::TAlertTable::Filled, 0);
    Sent.clear();
    Intake.LoadFilledOrders(true);
    EXPECT_EQ(SentIds(), (QList<qint32>{1, 2}));
}

TEST_P(IntakeTest, CanceledRowsWithdrawTheOrderTheyName)
{
    const QString otherWorkspace = QStringLiteral("C:\\Other.wsp");
    AddOrder(Canceled, 1, {{QStringLiteral("Workspace"), otherWorkspace}});
    AddOrder(Canceled, 2);
    AddOrder(Canceled, 3, {{QStringLiteral("Order Number"), QStringLiteral("7")}});
    AddOrder(Canceled, 4, {{QStringLiteral("Order Number"), QStringLiteral("7a")}});
    AddOrder(Canceled, 5, {{QStringLiteral("Order Number"), QStringLiteral("8")},
                           {QStringLiteral("System"), QStringLiteral("Other")}});
    AddOrder(Canceled, 6, {{QStringLiteral("Order Number"), QStringLiteral("9")}});
    Lookup.OrderNumbers.insert(QStringLiteral("7/0/111"), QStringLiteral("5550007"));
    Lookup.OrderNumbers.insert(QStringLiteral("8/0/111"), QStringLiteral("5550008"));

    Intake.LoadCanceledOrders();
    ASSERT_EQ(Sent.size(), 1);
    EXPECT_EQ(Sent[0].Order.Action, QStringLiteral("KILL_ORDER"));
    EXPECT_EQ(Sent[0].Order.OrderId, 7);
    EXPECT_EQ(Sent[0].Order.OrderKey, QStringLiteral("5550007"));
    EXPECT_EQ(Sent[0].Omega.Id, 7);
    // Order 9 has no exchange number: asked, nothing sent, nothing logged here.
    EXPECT_EQ(Lookup.AskedOrderNumbers, (QStringList{QStringLiteral("7/0/111"), QStringLiteral("9/0/111")}));
    EXPECT_EQ(LogMessages(), (QStringList{
        QStringLiteral("Ордер # 1 не прошел фильтры. /Фильтр рабочей области не пройден. /"),
        QStringLiteral("Отмена по ордеру # 4 не отправлена: поле \"Order Number\" содержит \"7a\", "
                       "а не номер ордера."),
        QStringLiteral("Ордер # 5 не прошел фильтры. /Фильтр стратегии не пройден. /")}));
    EXPECT_EQ(Env.Beeps, 2); // one per dispatch
}

TEST_P(IntakeTest, CanceledOrderIdIsADecimalNumber)
{
    // Alert ids run to 64 bits, as SQLite's do.
    const std::pair<const char*, qint64> cases[] = {
        {"7", 7}, {" 42 ", 42}, {"2147483647", 2147483647}, {"2147483648", 2147483648LL},
        {"9223372036854775807", std::numeric_limits<qint64>::max()}, {"9223372036854775808", 0}, {"0", 0},
        {"-7", 0}, {"+7", 0}, {"7a", 0}, {"0x1F", 0}, {"1 2", 0}, {"", 0}, {"٣", 0}};
    for (const auto& [text, id] : cases)
        EXPECT_EQ(CanceledOrderId(QString::fromUtf8(text)), id) << text;
}

TEST_P(IntakeTest, RowIdsBeyond32BitsAreReadAndIntakeGoesOn)
{
    // SQLite hands out ids past 32 bits once a row with a large id exists; such a row
    // must neither stop the intake nor go out under a wrapped id.
    if (GetParam() == TTestEngine::Odbc)
        GTEST_SKIP() << "Access ids are 32-bit; the SQLite ODBC driver reads an integer column in 32 bits";
    const qint64 big = 5000000000LL;
    Intake.SetLastId(TOrderIntake::TAlertTable::Active, 3);
    AddOrders(Active, {4, big});
    Intake.LoadActiveOrders();
    EXPECT_EQ(Intake.LastId(TOrderIntake::TAlertTable::Active), big);
    AddOrders(Active, {big + 1});
    Intake.LoadActiveOrders();
    EXPECT_EQ(Intake.LastId(TOrderIntake::TAlertTable::Active), big + 1);
    QList<qint64> sentIds;
    for (const TSentTransaction& sent : Sent)
        sentIds << sent.Order.OrderId;
    EXPECT_EQ(sentIds, (QList<qint64>{4, big, big + 1}));
    EXPECT_TRUE(Env.Errors.isEmpty());

    // A cancel naming the large id withdraws that order, not one of a wrapped id.
    Intake.SetLastId(TOrderIntake::TAlertTable::Canceled, 0);
    AddOrder(Canceled, 1, {{QStringLiteral("Order Number"), QString::number(big)}});
    Intake.LoadCanceledOrders();
    EXPECT_TRUE(Lookup.AskedOrderNumbers.contains(QString::number(big) + QStringLiteral("/0/111")))
        << Lookup.AskedOrderNumbers.join(QLatin1Char(' ')).toStdString();
}

TEST_P(IntakeTest, BridgeFailureEndsTheReadNamingTheRowsNotHandled)
{
    Intake.SetLastId(TOrderIntake::TAlertTable::Active, 0);
    AddOrders(Active, {1, 2, 3, 4});
    OnSend = [](const TOrder& order) {
        if (order.OrderId == 2)
            throw TBookingFailure(QStringLiteral("database is locked"));
    };
    try {
        Intake.LoadActiveOrders();
        ADD_FAILURE() << "the failure of the bridge database did not reach the caller";
    } catch (const TBridgeFailure& error) {
        EXPECT_TRUE(error.Text().contains(QStringLiteral("ордер # 2 не отправлен")));
        EXPECT_TRUE(error.Text().endsWith(QStringLiteral("Не обработаны и ордера # 3, # 4 из таблицы ActiveOrders.")))
            << error.Text().toStdString();
    }
    EXPECT_EQ(SentIds(), (QList<qint32>{1, 2}));
    EXPECT_FALSE(Intake.ActiveBusy());
    EXPECT_TRUE(Env.Errors.isEmpty()); // the box is the caller's, once
}

TEST_P(IntakeTest, FilterFailureLinesPerTable)
{
    const QVariantMap stray{{QStringLiteral("Workspace"), QStringLiteral("C:\\Other.wsp")},
                            {QStringLiteral("System"), QStringLiteral("Other")}};
    AddOrder(Active, 17, stray);
    AddOrder(Filled, 17, stray);
    Intake.SetLastId(TOrderIntake::TAlertTable::Active, 16);
    Intake.SetLastId(TOrderIntake::TAlertTable::Filled, 16);
    Env.Clock.setTime(QTime(18, 45, 1));
    Intake.LoadActiveOrders();
    Intake.LoadFilledOrders(true);
    EXPECT_TRUE(Sent.isEmpty());
    EXPECT_EQ(LogMessages(), (QStringList{
        QStringLiteral("Ордер # 17 не прошел фильтры. /Фильтр рабочей области не пройден. Фильтр стратегии не "
                       "пройден. Фильтр времени торговой сессии не пройден./"),
        QStringLiteral("Ордер # 17 не прошел фильтры. / Фильтр рабочей области не пройден. Фильтр стратегии не "
                       "пройден. Фильтр времени торговой сессии не пройден./")}));
    EXPECT_TRUE(LogSaved());
    EXPECT_EQ(Env.Beeps, 0);
}

TEST_P(IntakeTest, FailedRowIsLoggedAndTheNextRowIsSent)
{
    AddOrder(Active, 17, {{QStringLiteral("Order"), QStringLiteral("Buy x at 100 Limit")}});
    AddOrder(Active, 18);
    Intake.LoadActiveOrders();
    EXPECT_EQ(SentIds(), QList<qint32>{18});
    EXPECT_EQ(Intake.LastId(TOrderIntake::TAlertTable::Active), 18);
    EXPECT_FALSE(Intake.ActiveBusy());
    const QStringList log = LogMessages();
    ASSERT_GE(log.size(), 2);
    EXPECT_EQ(log[0], QStringLiteral("При обработке ордера # 17 из таблицы ActiveOrders произошла ошибка: "));
    EXPECT_FALSE(log[1].isEmpty()); // the error's own text, on its own line
    EXPECT_TRUE(LogSaved());
    ASSERT_EQ(Env.Errors.size(), 1);
    EXPECT_EQ(Env.Errors[0], QStringLiteral("Ордера из таблицы ActiveOrders не обработаны из-за ошибок (# 17), "
                                            "подробности в журнале. Первая ошибка: \r\n") + log[1]);
}

TEST_P(IntakeTest, UnreadableRowIsLoggedAndTheNextRowIsSent)
{
    if (GetParam() != TTestEngine::Sqlite)
        GTEST_SKIP() << "only SQLite keeps a text in a number column; the ODBC driver reads it as 0";
    AddOrder(Filled, 20, {{QStringLiteral("Fill Price"), QStringLiteral("n/a")}});
    AddOrder(Filled, 21);
    Intake.SetLastId(TOrderIntake::TAlertTable::Filled, 19);
    Intake.LoadFilledOrders(true);
    EXPECT_EQ(SentIds(), QList<qint32>{21});
    EXPECT_EQ(LogMessages(), (QStringList{
        QStringLiteral("При обработке ордера # 20 из таблицы FilledOrders произошла ошибка: "),
        QStringLiteral("Значение поля Fill Price не является числом: n/a")}));
    EXPECT_EQ(Env.Errors.size(), 1);
}

TEST_P(IntakeTest, BadSessionTimeFailsEveryRowWithOneReport)
{
    AddOrders(Active, {1, 2});
    Settings.edtTime1 = QStringLiteral("1O:30:00");
    Intake.LoadActiveOrders();
    EXPECT_TRUE(Sent.isEmpty());
    EXPECT_EQ(Intake.LastId(TOrderIntake::TAlertTable::Active), 2);
    EXPECT_EQ(LogMessages(), (QStringList{
        QStringLiteral("При обработке ордера # 1 из таблицы ActiveOrders произошла ошибка: "),
        QStringLiteral("Значение \"1O:30:00\" не является временем"),
        QStringLiteral("При обработке ордера # 2 из таблицы ActiveOrders произошла ошибка: "),
        QStringLiteral("Значение \"1O:30:00\" не является временем")}));
    ASSERT_EQ(Env.Errors.size(), 1);
    EXPECT_TRUE(Env.Errors[0].contains(QStringLiteral("(# 1, # 2)")));
}

TEST_P(IntakeTest, TableClosedWhenWatchingStartedCountsItsRowsAsOld)
{
    AddOrders(Active, {1, 2, 3});
    DatMod.tActiveOrders().Close();
    Intake.SetLastId(TOrderIntake::TAlertTable::Active, DatMod.GetLastId(DatMod.tActiveOrders()));
    ASSERT_EQ(Intake.LastId(TOrderIntake::TAlertTable::Active), -1);

    // Still closed: nothing.
    Intake.LoadActiveOrders();
    EXPECT_EQ(Intake.LastId(TOrderIntake::TAlertTable::Active), -1);

    DatMod.tActiveOrders().Open();
    Intake.LoadActiveOrders();
    EXPECT_TRUE(Sent.isEmpty());
    EXPECT_EQ(Intake.LastId(TOrderIntake::TAlertTable::Active), 3);
    EXPECT_EQ(LogMessages(), QStringList{QStringLiteral(
        "Таблица ActiveOrders была закрыта при включении загрузки: ордера с id до 3 включительно пропущены, "
        "загружаются только новые.")});
    EXPECT_TRUE(LogSaved());

    AddOrder(Active, 4);
    Intake.LoadActiveOrders();
    EXPECT_EQ(SentIds(), QList<qint32>{4});

    // An empty table opened later: its first row is new.
    Intake.SetLastId(TOrderIntake::TAlertTable::Filled, -1);
    Intake.LoadFilledOrders(true);
    EXPECT_EQ(Intake.LastId(TOrderIntake::TAlertTable::Filled), 0);
    AddOrder(Filled, 1);
    Intake.LoadFilledOrders(true);
    EXPECT_EQ(SentIds(), (QList<qint32>{4, 1}));
}

TEST_P(IntakeTest, FailedQueryClearsTheBusyMarkAndKeepsTheIdMoved)
{
    AddOrders(Active, {1, 2, 3});
    // The last id still reads, the rows do not: the table becomes a view whose rows fail.
    Bases.Exec(Bases.AlertsPath(), QStringLiteral("ALTER TABLE ActiveOrders RENAME TO ActiveRows"));
    Bases.Exec(Bases.AlertsPath(), QStringLiteral(
        "CREATE VIEW ActiveOrders AS SELECT *, abs(-9223372036854775807 - 1) AS Broken FROM ActiveRows"));
    Intake.SetLastId(TOrderIntake::TAlertTable::Active, 1);
    Intake.LoadActiveOrders();
    EXPECT_TRUE(Sent.isEmpty());
    EXPECT_FALSE(Intake.ActiveBusy());
    EXPECT_EQ(Intake.LastId(TOrderIntake::TAlertTable::Active), 3);
    const QStringList log = LogMessages();
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log[0], QStringLiteral("При чтении ордеров с id от 2 до 3 из таблицы ActiveOrders произошла ошибка: "));
    EXPECT_TRUE(log[1].contains(QStringLiteral("overflow"))) << log[1].toStdString();
    EXPECT_TRUE(LogSaved());
    ASSERT_EQ(Env.Errors.size(), 1);
    EXPECT_EQ(Env.Errors[0], log[0] + QStringLiteral("\r\n") + log[1]);
}

TEST_P(IntakeTest, ReaderCalledWhileOneRunsDisturbsNothing)
{
    AddOrders(Active, {1, 2});
    bool nested = false;
    OnSend = [&](const TOrder& order) {
        if (order.OrderId != 1 || nested)
            return;
        nested = true;
        AddOrder(Active, 3);
        // As from a message loop run inside the dispatch: the busy mark keeps both out.
        Intake.LoadActiveOrders();
        EXPECT_TRUE(Intake.ActiveBusy());
        Intake.LoadActiveOrders();
    };
    Intake.LoadActiveOrders();
    EXPECT_EQ(SentIds(), (QList<qint32>{1, 2}));
    EXPECT_FALSE(Intake.ActiveBusy());
    EXPECT_EQ(Intake.LastId(TOrderIntake::TAlertTable::Active), 2);
    Intake.LoadActiveOrders();
    EXPECT_EQ(SentIds(), (QList<qint32>{1, 2, 3}));

    // FilledOrders has no mark: the inner read takes the newer row, the outer one keeps
    // its own rows.
    AddOrders(Filled, {1, 2});
    Sent.clear();
    nested = false;
    OnSend = [&](const TOrder& order) {
        if (order.OrderId != 1 || nested)
            return;
        nested = true;
        AddOrder(Filled, 3);
        Intake.LoadFilledOrders(true);
    };
    Intake.LoadFilledOrders(true);
    EXPECT_EQ(SentIds(), (QList<qint32>{1, 3, 2}));
    EXPECT_EQ(Intake.LastId(TOrderIntake::TAlertTable::Filled), 3);
}

INSTANTIATE_TEST_SUITE_P(Engines, IntakeTest, ::testing::Values(TTestEngine::Sqlite, TTestEngine::Odbc), EngineTestName);

} // namespace
