#include "data/DatMod.h"
#include "tests/support/TestDatabases.h"
#include "tests/support/TestEnvironment.h"
#include "trade/DatModResultBookings.h"

#include <gtest/gtest.h>

static void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

// The result reader's bookings over both databases made from the schemas.
class ResultBookingsTest : public ::testing::TestWithParam<TTestEngine> {
protected:
    void SetUp() override
    {
        DatMod.conOmega().Open(Bases.AlertsSource());
        DatMod.conQuikData().Open(Bases.BridgeSource());
        Bridge(QStringLiteral("tOrderNumber"), {{"trans_id", 5}, {"id_order", 41}, {"filled", true}, {"code", "C1"}});
        Bridge(QStringLiteral("tOrderNumber"), {{"trans_id", 6}, {"id_order", 42}, {"filled", false}, {"code", "C1"}});
    }

    void Bridge(const QString& table, const QVariantMap& values)
    {
        Bases.Insert(Bases.BridgePath(), table, values);
    }
    QVariant BridgeValue(const QString& column, int transId)
    {
        return Bases.Scalar(Bases.BridgePath(),
                            QStringLiteral("SELECT [%1] FROM tOrderNumber WHERE trans_id = ?").arg(column), {transId});
    }
    int AlertOrder(const QString& table)
    {
        return int(Bases.Insert(Bases.AlertsPath(), table, {{"Symbol", "ABC"}, {"Order", "Buy 3 at 100 Limit"}}));
    }
    QVariant OrderNumberOf(const QString& table, int id)
    {
        return Bases.Scalar(Bases.AlertsPath(),
                            QStringLiteral("SELECT [Order Number] FROM [%1] WHERE id = ?").arg(table), {id});
    }

    TTestEnvironment Env;
    TTestDatabases Bases{GetParam()};
    TDatMod DatMod{Env.Environment};
    TDatModResultBookings Bookings{DatMod};
};

TEST_P(ResultBookingsTest, LookUpFindsTheTransactionsRow)
{
    const std::optional<TTransactionRow> filled = Bookings.LookUp(5);
    ASSERT_TRUE(filled.has_value());
    EXPECT_EQ(filled->IdOrder, 41);
    EXPECT_TRUE(filled->Filled);

    const std::optional<TTransactionRow> active = Bookings.LookUp(6);
    ASSERT_TRUE(active.has_value());
    EXPECT_EQ(active->IdOrder, 42);
    EXPECT_FALSE(active->Filled);

    EXPECT_FALSE(Bookings.LookUp(7).has_value());
}

TEST_P(ResultBookingsTest, UpdateOrderNumberWritesTheOrdersOwnIdIntoItsTable)
{
    // Ids of both tables run in step, so that a write into the wrong table would show.
    const int active = AlertOrder(QStringLiteral("ActiveOrders"));
    const int filled = AlertOrder(QStringLiteral("FilledOrders"));
    ASSERT_EQ(active, filled);
    const int other = AlertOrder(QStringLiteral("ActiveOrders"));

    Bookings.UpdateOrderNumber(false, active);
    EXPECT_EQ(OrderNumberOf(QStringLiteral("ActiveOrders"), active).toString(), QString::number(active));
    EXPECT_TRUE(OrderNumberOf(QStringLiteral("FilledOrders"), filled).isNull());
    EXPECT_TRUE(OrderNumberOf(QStringLiteral("ActiveOrders"), other).isNull());

    Bookings.UpdateOrderNumber(true, filled);
    EXPECT_EQ(OrderNumberOf(QStringLiteral("FilledOrders"), filled).toString(), QString::number(filled));
}

TEST_P(ResultBookingsTest, BookResultWritesTheTransactionsRowOnly)
{
    TResultLine result;
    result.TransId = 5;
    result.Status = 3;
    result.TransName = QStringLiteral("Ввод заявки \"X\"");
    result.Description = QStringLiteral("ok; done");
    result.OrderNumber = Q_INT64_C(123456789012);
    Bookings.BookResult(result);

    EXPECT_EQ(BridgeValue(QStringLiteral("status"), 5).toInt(), 3);
    EXPECT_EQ(BridgeValue(QStringLiteral("trans_name"), 5).toString(), result.TransName);
    EXPECT_EQ(BridgeValue(QStringLiteral("description"), 5).toString(), result.Description);
    EXPECT_EQ(BridgeValue(QStringLiteral("order_number"), 5).toLongLong(), Q_INT64_C(123456789012));
    EXPECT_TRUE(BridgeValue(QStringLiteral("status"), 6).isNull());
    EXPECT_TRUE(BridgeValue(QStringLiteral("order_number"), 6).isNull());

    // A transaction without a row changes nothing and is no error.
    result.TransId = 99;
    EXPECT_NO_THROW(Bookings.BookResult(result));
}

// The bookings of a slice are stored together on both databases: taken back, neither the
// report's row nor the alert table's link stays; committed, both are there for others.
TEST_P(ResultBookingsTest, BookingsBetweenBeginAndCommitAreStoredTogetherOrNotAtAll)
{
    const int filled = AlertOrder(QStringLiteral("FilledOrders"));
    TResultLine result;
    result.TransId = 5;
    result.Status = 3;
    result.OrderNumber = 777;
    auto book = [&] {
        Bookings.BeginBookings();
        Bookings.UpdateOrderNumber(true, filled);
        Bookings.BookResult(result);
    };

    book();
    Bookings.RollbackBookings();
    EXPECT_TRUE(BridgeValue(QStringLiteral("status"), 5).isNull());
    EXPECT_TRUE(OrderNumberOf(QStringLiteral("FilledOrders"), filled).isNull());

    book();
    Bookings.CommitBookings();
    EXPECT_EQ(BridgeValue(QStringLiteral("status"), 5).toInt(), 3);
    EXPECT_EQ(BridgeValue(QStringLiteral("order_number"), 5).toLongLong(), 777);
    EXPECT_EQ(OrderNumberOf(QStringLiteral("FilledOrders"), filled).toString(), QString::number(filled));
    // Nothing is left open: a later booking is stored at once.
    result.TransId = 6;
    Bookings.BookResult(result);
    EXPECT_EQ(BridgeValue(QStringLiteral("status"), 6).toInt(), 3);
}

TEST_P(ResultBookingsTest, TextsLongerThanTheirColumnsAreCut)
{
    TResultLine result;
    result.TransId = 6;
    result.Status = 4;
    result.TransName = QString(60, QChar(0x0416)); // "Ж" x 60
    result.Description = QString(300, QLatin1Char('d'));
    Bookings.BookResult(result);

    EXPECT_EQ(BridgeValue(QStringLiteral("trans_name"), 6).toString(), QString(50, QChar(0x0416)));
    EXPECT_EQ(BridgeValue(QStringLiteral("description"), 6).toString(), QString(255, QLatin1Char('d')));
}

TEST(CutToColumnTest, NeverSplitsACharacter)
{
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // two UTF-16 units
    EXPECT_EQ(CutToColumn(QString(48, QLatin1Char('a')) + emoji + QLatin1Char('b'), 50),
              QString(48, QLatin1Char('a')) + emoji);
    EXPECT_EQ(CutToColumn(QString(49, QLatin1Char('a')) + emoji, 50), QString(49, QLatin1Char('a')));
    EXPECT_EQ(CutToColumn(QStringLiteral("short"), 50), QStringLiteral("short"));
}

INSTANTIATE_TEST_SUITE_P(Engines, ResultBookingsTest,
                         ::testing::Values(TTestEngine::Sqlite, TTestEngine::Odbc),
                         [](const auto& info) { return std::string(EngineName(info.param)); });

} // namespace
