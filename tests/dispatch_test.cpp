#include "tests/support/IntakeFixture.h"
#include "trade/TransactionLine.h"

namespace {

class DispatchTest : public IntakeFixture {
protected:
    void SetUp() override
    {
        IntakeFixture::SetUp();
        Order.Id = 17;
        Order.Symbol = QStringLiteral("ABC");
        Order.OrderType = QStringLiteral("LE");
        Order.Order = QStringLiteral("Buy 3 at 100 Limit");
        Order.System = QStringLiteral("Trend(5,10)");
        Order.Workspace = QStringLiteral("C:\\Work\\Futures.wsp");
    }

    void ProcessNew(bool checkTraded = true)
    {
        Dispatcher.ProcessOrder(Order, &TOrderBuilder::NewOrder, checkTraded);
    }

    TOmegaOrder Order;
};

TEST_P(DispatchTest, SingleAccountOfTheSettings)
{
    Log.AddToLog(QStringLiteral("not saved yet"));
    ProcessNew();
    ASSERT_EQ(Calls, (QStringList{QStringLiteral("send 111 17"), QStringLiteral("write")}));
    const TOrder& order = Sent[0].Order;
    EXPECT_EQ(order.Action, QStringLiteral("NEW_ORDER"));
    EXPECT_EQ(order.Account, QStringLiteral("L01-00000F00"));
    EXPECT_EQ(order.Quantity, 3);
    EXPECT_EQ(Sent[0].Omega.Id, 17);
    EXPECT_EQ(Env.Beeps, 1);
    EXPECT_TRUE(LogSaved());

    // The account is read from the settings at the moment of the dispatch.
    Settings.edtCode = QStringLiteral("222");
    Settings.edtAccountFORTS = QStringLiteral("SPB02");
    Order.Symbol = QStringLiteral("RTS");
    ProcessNew();
    EXPECT_EQ(Sent[1].Order.ClientCode, QStringLiteral("222"));
    EXPECT_EQ(Sent[1].Order.Account, QStringLiteral("SPB02"));
    EXPECT_EQ(Env.Beeps, 2);
}

TEST_P(DispatchTest, MultiSendsToEveryActiveClientThenWritesOnce)
{
    Settings.rgpSingleMulti = smMulti;
    AddClient(QStringLiteral("C1"), true, QStringLiteral("M1"), QStringLiteral("F1"));
    AddClient(QStringLiteral("C2"), false, QStringLiteral("M2"), QStringLiteral("F2"));
    AddClient(QStringLiteral("C3"), true, QStringLiteral("M3"), QStringLiteral("F3"));
    AddClient(QStringLiteral("C4"), true, QStringLiteral("M4"), QStringLiteral("F4"));
    Order.Symbol = QStringLiteral("RTS");
    ProcessNew();
    EXPECT_EQ(Calls, (QStringList{QStringLiteral("send C1 17"), QStringLiteral("send C3 17"),
                                  QStringLiteral("send C4 17"), QStringLiteral("write")}));
    ASSERT_EQ(Sent.size(), 3);
    EXPECT_EQ(Sent[1].Order.Account, QStringLiteral("F3")); // futures: the FORTS account
    EXPECT_EQ(Env.Beeps, 1);

    // The active clients are read again at every dispatch.
    Bases.Exec(Bases.BridgePath(), QStringLiteral("UPDATE tclients SET Active = 0 WHERE Code = 'C3'"));
    Calls.clear();
    ProcessNew();
    EXPECT_EQ(Calls, (QStringList{QStringLiteral("send C1 17"), QStringLiteral("send C4 17"), QStringLiteral("write")}));

    // Nobody active: nothing sent; the log is saved, the lines written, the beep played.
    Bases.Exec(Bases.BridgePath(), QStringLiteral("UPDATE tclients SET Active = 0"));
    Calls.clear();
    Log.AddToLog(QStringLiteral("not saved yet"));
    ProcessNew();
    EXPECT_EQ(Calls, QStringList{QStringLiteral("write")});
    EXPECT_TRUE(LogSaved());
    EXPECT_EQ(Env.Beeps, 3);
}

TEST_P(DispatchTest, NoWorkingModeSendsNothing)
{
    Settings.rgpSingleMulti = -1;
    ProcessNew();
    EXPECT_EQ(Calls, QStringList{QStringLiteral("write")});
    EXPECT_EQ(Env.Beeps, 1);
}

TEST_P(DispatchTest, SecurityNotTradedIsLoggedPerAccount)
{
    Lookup.Securities[QStringLiteral("ABC")].Traded = false;
    Settings.rgpSingleMulti = smMulti;
    AddClient(QStringLiteral("C1"), true, QStringLiteral("M1"), QStringLiteral("F1"));
    AddClient(QStringLiteral("C2"), true, QStringLiteral("M2"), QStringLiteral("F2"));
    ProcessNew();
    EXPECT_EQ(Calls, QStringList{QStringLiteral("write")});
    EXPECT_EQ(LogMessages(), (QStringList{
        QStringLiteral("Ордер # 17 не прошел фильтр по счету C1:  инструмент ABC не торгуется."),
        QStringLiteral("Ордер # 17 не прошел фильтр по счету C2:  инструмент ABC не торгуется.")}));
    EXPECT_EQ(Env.Beeps, 1);

    // A manual dispatch does not ask.
    ProcessNew(false);
    EXPECT_EQ(SentIds(), (QList<qint32>{17, 17}));
    EXPECT_EQ(Log.LineCount(), 2);
}

TEST_P(DispatchTest, BuilderWithNothingToSendLogsNothingHere)
{
    Order.Symbol = QStringLiteral("XYZ"); // not listed: the sizing logs it, quantity 0
    ProcessNew();
    EXPECT_EQ(Calls, QStringList{QStringLiteral("write")});
    ASSERT_EQ(Log.LineCount(), 1);
    EXPECT_TRUE(LogMessages()[0].startsWith(QStringLiteral("Не найден код акции XYZ")));
    EXPECT_EQ(Env.Beeps, 1);
}

TEST_P(DispatchTest, WithdrawalGoesUnderTheOrdersId)
{
    Lookup.OrderNumbers.insert(QStringLiteral("17/0/111"), QStringLiteral("5550001"));
    Dispatcher.ProcessOrder(Order, &TOrderBuilder::KillOrder, true);
    ASSERT_EQ(Sent.size(), 1);
    EXPECT_EQ(Sent[0].Order.Action, QStringLiteral("KILL_ORDER"));
    EXPECT_EQ(Sent[0].Order.OrderKey, QStringLiteral("5550001"));
    EXPECT_EQ(Lookup.AskedOrderNumbers, QStringList{QStringLiteral("17/0/111")});
}

TEST_P(DispatchTest, FailureForOneAccountStillWritesTheLinesMadeBefore)
{
    Settings.rgpSingleMulti = smMulti;
    AddClient(QStringLiteral("C1"), true, QStringLiteral("M1"), QStringLiteral("F1"));
    AddClient(QStringLiteral("C2"), true, QStringLiteral("M2"), QStringLiteral("F2"));
    AddClient(QStringLiteral("C3"), true, QStringLiteral("M3"), QStringLiteral("F3"));
    OnSend = [](const TOrder& order) {
        if (order.ClientCode == QStringLiteral("C2"))
            throw TError(QStringLiteral("Бронирование не удалось"));
    };
    Log.AddToLog(QStringLiteral("not saved yet"));
    try {
        ProcessNew();
        ADD_FAILURE() << "the failure did not reach the caller";
    } catch (const TError& error) {
        EXPECT_EQ(error.Text(), QStringLiteral("Ордер # 17 не отправлен на 1 из счетов группы, остальные счета его "
                                               "получили:\r\nсчет C2: Бронирование не удалось"));
    }
    // C2's own failure costs C1 and C3 nothing: their lines go to the terminal at once.
    EXPECT_EQ(Calls, (QStringList{QStringLiteral("send C1 17"), QStringLiteral("send C2 17"),
                                  QStringLiteral("send C3 17"), QStringLiteral("write")}));
    EXPECT_TRUE(LogSaved());
    EXPECT_EQ(Env.Beeps, 1);

    // When the write fails as well, the dispatch's failure is the one reported and the
    // write's is logged.
    FailWrite = true;
    EXPECT_THROW(ProcessNew(), TError);
    EXPECT_EQ(LogMessages().last(), QStringLiteral("Диск переполнен"));
    EXPECT_EQ(Env.Beeps, 2);

    // A failing write alone reaches the caller.
    OnSend = nullptr;
    try {
        ProcessNew();
        ADD_FAILURE() << "the failed write was not reported";
    } catch (const TError& error) {
        EXPECT_EQ(error.Text(), QStringLiteral("Диск переполнен"));
    }
    EXPECT_EQ(Env.Beeps, 3);
}

TEST_P(DispatchTest, BookingFailureSendsTheOrderToNoAccount)
{
    Settings.rgpSingleMulti = smMulti;
    AddClient(QStringLiteral("C1"), true, QStringLiteral("M1"), QStringLiteral("F1"));
    AddClient(QStringLiteral("C2"), true, QStringLiteral("M2"), QStringLiteral("F2"));
    AddClient(QStringLiteral("C3"), true, QStringLiteral("M3"), QStringLiteral("F3"));
    OnSend = [](const TOrder& order) {
        if (order.ClientCode == QStringLiteral("C2"))
            throw TBookingFailure(QStringLiteral("disk I/O error"));
    };
    try {
        ProcessNew();
        ADD_FAILURE() << "the failure of the bridge database did not reach the caller";
    } catch (const TBridgeFailure& error) {
        EXPECT_TRUE(error.Text().contains(QStringLiteral("ордер # 17 не отправлен ни на один счет (C1, C2, C3)")))
            << error.Text().toStdString();
        EXPECT_TRUE(error.Text().endsWith(QStringLiteral("disk I/O error")));
    }
    // Nothing is tried after the failure; lines of earlier failed writes still go out.
    EXPECT_EQ(Calls, (QStringList{QStringLiteral("send C1 17"), QStringLiteral("send C2 17"), QStringLiteral("write")}));
    EXPECT_EQ(Env.Beeps, 1);

    // The clients that cannot be read are the bridge database's failure too.
    OnSend = nullptr;
    Bases.Exec(Bases.BridgePath(), QStringLiteral("ALTER TABLE tclients RENAME TO tMoved"));
    Calls.clear();
    EXPECT_THROW(ProcessNew(), TBridgeFailure);
    EXPECT_EQ(Calls, QStringList{QStringLiteral("write")});
}

// ---- manual commands ----

class ManualTest : public DispatchTest {
protected:
    // A command whose ticket the operator confirms at once.
    void SendNew(TManualPage page) { Confirm(Manual.actSendNewOrderManualExecute(page)); }
    void SendKill(TManualPage page) { Confirm(Manual.actSendKillOrderManualExecute(page)); }
    void Confirm(const std::optional<TManualTicket>& ticket)
    {
        if (ticket)
            Manual.SendTicket(*ticket);
    }
    // The log's messages but the confirmations of the tickets.
    QStringList LogMessagesButConfirmations() const
    {
        QStringList messages = LogMessages();
        messages.removeIf([](const QString& line) { return line.endsWith(QStringLiteral("оператор подтвердил.")); });
        return messages;
    }
};

TEST_P(ManualTest, SendsTheCurrentRowOfTheShownPageWithoutFilters)
{
    // Fails every filter, and its security is not marked as traded.
    Lookup.Securities[QStringLiteral("ABC")].Traded = false;
    Env.Clock.setTime(QTime(20, 0, 0));
    AddOrder(QStringLiteral("ActiveOrders"), 5, {{QStringLiteral("Workspace"), QStringLiteral("C:\\Other.wsp")},
                                                 {QStringLiteral("System"), QStringLiteral("Other")}});
    AddOrder(QStringLiteral("ActiveOrders"), 6);
    AddOrder(QStringLiteral("FilledOrders"), 9, {{QStringLiteral("Fill Price"), 99.5},
                                                 {QStringLiteral("Order Number"), QStringLiteral("9")}});
    RefreshTable(DatMod.tActiveOrders());
    RefreshTable(DatMod.tFilledOrders());

    SendNew(TManualPage::ActiveOrders);
    ASSERT_EQ(Sent.size(), 1);
    EXPECT_EQ(Sent[0].Omega.Id, 5);
    EXPECT_FALSE(Sent[0].Omega.Filled);
    EXPECT_EQ(Sent[0].Order.Action, QStringLiteral("NEW_ORDER"));

    DatMod.tActiveOrders().Next();
    SendNew(TManualPage::ActiveOrders);
    ASSERT_EQ(Sent.size(), 2);
    EXPECT_EQ(Sent[1].Omega.Id, 6);

    // A withdrawal from the filled page is looked up under the row's own id, as filled.
    Lookup.OrderNumbers.insert(QStringLiteral("9/1/111"), QStringLiteral("5550009"));
    SendKill(TManualPage::FilledOrders);
    ASSERT_EQ(Sent.size(), 3);
    EXPECT_EQ(Sent[2].Order.Action, QStringLiteral("KILL_ORDER"));
    EXPECT_EQ(Sent[2].Order.OrderId, 9);
    EXPECT_TRUE(Sent[2].Omega.Filled);
    EXPECT_DOUBLE_EQ(Sent[2].Omega.FillPrice, 99.5);
    EXPECT_EQ(Env.Beeps, 3);
    EXPECT_EQ(Calls.count(QStringLiteral("write")), 3);
    // Each send is logged as the operator's confirmed command; no filter lines, no "not
    // traded" lines.
    EXPECT_EQ(LogMessages(),
              (QStringList{QStringLiteral("Ручная команда \"Выставить ордер вручную\": ордер # 5 (ActiveOrders) "
                                          "отправляется, оператор подтвердил."),
                           QStringLiteral("Ручная команда \"Выставить ордер вручную\": ордер # 6 (ActiveOrders) "
                                          "отправляется, оператор подтвердил."),
                           QStringLiteral("Ручная команда \"Отменить ордер\": ордер # 9 (FilledOrders) "
                                          "отправляется, оператор подтвердил.")}));
}

TEST_P(ManualTest, OnePressSendsOnceAndASecondPressWithinASecondOrWhileSendingIsRefused)
{
    AddOrder(QStringLiteral("ActiveOrders"), 5);
    AddOrder(QStringLiteral("ActiveOrders"), 6);
    RefreshTable(DatMod.tActiveOrders());
    Lookup.OrderNumbers.insert(QStringLiteral("5/0/111"), QStringLiteral("5550005"));
    const QString repeated5 =
        QStringLiteral("Повторная команда для ордера # 5 отклонена: та же команда отдана менее секунды назад.");
    const QString busy = QStringLiteral("Команда отклонена: предыдущая ручная отправка ордера ещё не завершена.");

    // A double click: the same command for the same row twice, the second 999 ms later.
    SendNew(TManualPage::ActiveOrders);
    Env.Clock = Env.Clock.addMSecs(999);
    SendNew(TManualPage::ActiveOrders);
    EXPECT_EQ(Sent.size(), 1);
    EXPECT_EQ(LogMessagesButConfirmations(), QStringList{repeated5});
    EXPECT_TRUE(LogSaved());

    // Within the second, the other command for the row and the command for another row
    // are other commands; a second after the first press, the same command sends again.
    SendKill(TManualPage::ActiveOrders);
    DatMod.tActiveOrders().Next();
    SendNew(TManualPage::ActiveOrders);
    DatMod.tActiveOrders().First();
    Env.Clock = Env.Clock.addMSecs(1);
    SendNew(TManualPage::ActiveOrders);
    ASSERT_EQ(Sent.size(), 4);
    EXPECT_EQ(Sent[1].Order.Action, QStringLiteral("KILL_ORDER"));
    EXPECT_EQ(Sent[2].Omega.Id, 6);
    EXPECT_EQ(Sent[3].Omega.Id, 5);

    // A clock set back is no time gone.
    Env.Clock = Env.Clock.addSecs(-60);
    SendNew(TManualPage::ActiveOrders);
    EXPECT_EQ(Sent.size(), 4);

    // Pressed again while the send runs (a message loop inside it, here its beep), for
    // another row and a minute on: refused, whichever command; the running send goes on.
    Env.Clock = Env.Clock.addSecs(120);
    const int linesBefore = LogMessagesButConfirmations().size();
    int nested = 0;
    Env.Environment.Beep = [&] {
        if (nested++ > 0)
            return;
        DatMod.tActiveOrders().Next();
        Env.Clock = Env.Clock.addSecs(60);
        SendNew(TManualPage::ActiveOrders);
        SendKill(TManualPage::FilledOrders);
    };
    SendNew(TManualPage::ActiveOrders);
    ASSERT_EQ(Sent.size(), 5);
    EXPECT_EQ(Sent[4].Omega.Id, 5);
    EXPECT_EQ(LogMessagesButConfirmations().mid(linesBefore), (QStringList{busy, busy}));

    // A send that failed lets the next press through once the second is over.
    Env.Environment.Beep = [] {};
    FailWrite = true;
    Env.Clock = Env.Clock.addSecs(5);
    EXPECT_ANY_THROW(SendNew(TManualPage::ActiveOrders));
    FailWrite = false;
    Env.Clock = Env.Clock.addSecs(5);
    SendNew(TManualPage::ActiveOrders);
    EXPECT_EQ(Sent.size(), 7);
}

TEST_P(ManualTest, TheTicketShowsEachAccountsLineAndSendsNothingUntilConfirmed)
{
    Settings.rgpSingleMulti = smMulti;
    AddClient(QStringLiteral("C1"), true, QStringLiteral("M1"), QStringLiteral("F1"));
    AddClient(QStringLiteral("C2"), false, QStringLiteral("M2"), QStringLiteral("F2"));
    AddClient(QStringLiteral("C3"), true, QStringLiteral("M3"), QStringLiteral("F3"));
    AddOrder(QStringLiteral("ActiveOrders"), 5);
    AddOrder(QStringLiteral("FilledOrders"), 9);
    RefreshTable(DatMod.tActiveOrders());
    RefreshTable(DatMod.tFilledOrders());
    const qint32 counter = Writer.TransCounter();

    // Only C1's order reached the exchange: only C1 has an order to withdraw.
    Lookup.OrderNumbers.insert(QStringLiteral("9/1/C1"), QStringLiteral("5550009"));
    const std::optional<TManualTicket> kill = Manual.actSendKillOrderManualExecute(TManualPage::FilledOrders);
    ASSERT_TRUE(kill);
    EXPECT_EQ(kill->Command, QStringLiteral("Отменить ордер"));
    EXPECT_EQ(kill->Order.Id, 9);
    EXPECT_TRUE(kill->SizingMayDiffer);
    ASSERT_EQ(kill->Lines.size(), 2);
    EXPECT_EQ(kill->Lines[0].ClientCode, QStringLiteral("C1"));
    EXPECT_EQ(kill->Lines[0].Value(u"ACTION"), QStringLiteral("KILL_ORDER"));
    EXPECT_EQ(kill->Lines[0].Value(u"Order_key"), QStringLiteral("5550009"));
    EXPECT_EQ(kill->Lines[1].ClientCode, QStringLiteral("C3"));
    EXPECT_TRUE(kill->Lines[1].Line.isEmpty());
    EXPECT_FALSE(kill->Lines[1].Note.isEmpty());

    // A new order: each active account's line is the very line its confirmation makes.
    const std::optional<TManualTicket> entry = Manual.actSendNewOrderManualExecute(TManualPage::ActiveOrders);
    ASSERT_TRUE(entry);
    EXPECT_FALSE(entry->SizingMayDiffer) << "the wording's own quantity";
    ASSERT_EQ(entry->Lines.size(), 2);
    EXPECT_EQ(entry->Lines[1].Value(u"QUANTITY"), QStringLiteral("3"));
    EXPECT_TRUE(Calls.isEmpty()) << "a ticket neither sends nor writes";
    EXPECT_EQ(Writer.TransCounter(), counter);
    EXPECT_EQ(Env.Beeps, 0);

    Manual.SendTicket(*entry);
    ASSERT_EQ(Sent.size(), 2);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(entry->Lines[i].Line, TransactionLine(counter + i, Sent[i].Order, Env.Environment.Regional));
    Manual.TicketCancelled(*kill);
    EXPECT_EQ(Sent.size(), 2);
    EXPECT_EQ(LogMessages().last(),
              QStringLiteral("Ручная команда \"Отменить ордер\": ордер # 9 (FilledOrders) не отправлен, оператор "
                             "отменил отправку."));
}

TEST_P(ManualTest, OtherPageOrNoRowSendsNothing)
{
    AddOrder(QStringLiteral("ActiveOrders"), 5);
    RefreshTable(DatMod.tActiveOrders());
    SendNew(TManualPage::Other);
    SendKill(TManualPage::Other);
    EXPECT_TRUE(Calls.isEmpty());
    EXPECT_EQ(Env.Beeps, 0);

    // The filled grid is empty: there is no order to send.
    SendNew(TManualPage::FilledOrders);
    EXPECT_TRUE(Calls.isEmpty());
    EXPECT_EQ(LogMessages(), QStringList{QStringLiteral("Ордер не выбран: в таблице FilledOrders нет текущей строки.")});
    EXPECT_TRUE(LogSaved());
}

INSTANTIATE_TEST_SUITE_P(Engines, DispatchTest, ::testing::Values(TTestEngine::Sqlite), EngineTestName);
INSTANTIATE_TEST_SUITE_P(Engines, ManualTest, ::testing::Values(TTestEngine::Sqlite), EngineTestName);

} // namespace
