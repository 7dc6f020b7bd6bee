#include "data/SessionTime.h"
#include "tests/support/IntakeFixture.h"

namespace {

class FiltersTest : public IntakeFixture {
protected:
    void SetUp() override
    {
        IntakeFixture::SetUp();
        Bases.Insert(Bases.BridgePath(), QStringLiteral("tWorkSpaces"), {{QStringLiteral("workspace"), QStringLiteral("Акции.wsp")}});
        Bases.Insert(Bases.BridgePath(), QStringLiteral("tStrategy"), {{QStringLiteral("strategy"), QStringLiteral("(5,10)")}});
        Bases.Insert(Bases.BridgePath(), QStringLiteral("tStrategy"), {{QStringLiteral("strategy"), QStringLiteral("Канал ")}});
        DatMod.tWorkSpaces().Close();
        DatMod.tWorkSpaces().Open();
        DatMod.tStrategy().Close();
        DatMod.tStrategy().Open();
        Order.Workspace = QStringLiteral("C:\\Work\\Futures.wsp");
        Order.System = QStringLiteral("Trend(5,10)");
    }

    QString Reason(const TOmegaOrder& order)
    {
        QString reason;
        const bool passed = Filters.CheckFilters(order, reason);
        EXPECT_EQ(passed, reason.isEmpty()) << reason.toStdString();
        return reason;
    }

    TOmegaOrder Order;
};

TEST_P(FiltersTest, WorkspaceIsTheFileNameWithoutRegardToCase)
{
    const std::pair<const char*, bool> cases[] = {
        {"C:\\Work\\Futures.wsp", true},
        {"C:\\WORK\\FUTURES.WSP", true},
        {"D:Futures.wsp", true},
        {"Futures.wsp", true},
        {"C:\\Work\\Акции.wsp", true},
        {"C:\\Work\\АКЦИИ.WSP", true},          // Cyrillic letters ignore case too
        {"C:\\Work\\Futures.ws", false},        // a prefix of a listed name
        {"C:\\Work\\Futures.wsp.bak", false},   // a listed name as a prefix
        {"C:\\Futures.wsp\\Other.wsp", false},  // the name is after the last separator
        {"C:\\Work\\ Futures.wsp", false},      // nothing is trimmed
        {"", false},
    };
    for (const auto& [workspace, accepted] : cases) {
        Order.Workspace = QString::fromUtf8(workspace);
        EXPECT_EQ(Reason(Order), accepted ? QString() : TOrderFilters::WorkspaceFailed) << workspace;
    }
    // A found row becomes the list's current row.
    Order.Workspace = QStringLiteral("C:\\Work\\акции.WSP");
    Reason(Order);
    EXPECT_EQ(DatMod.tWorkSpaces().FieldByName(QStringLiteral("workspace")).AsString(), QStringLiteral("Акции.wsp"));
}

TEST_P(FiltersTest, StrategyIsTheTextBeforeTheFirstBracket)
{
    const std::pair<const char*, bool> cases[] = {
        {"Trend(5,10)", true},
        {"TREND", true},
        {"trend(1)(2)", true},
        {"Trend (5,10)", false},  // looked up as "Trend " with its blank
        {"(5,10)", true},         // nothing before the bracket: looked up whole
        {"(5,11)", false},
        {"Tren(5,10)", false},
        {"Trend2", false},
        {"канал (3)", true},      // "канал " matches "Канал "
        {"Канал(3)", false},
    };
    for (const auto& [system, accepted] : cases) {
        Order.System = QString::fromUtf8(system);
        EXPECT_EQ(Reason(Order), accepted ? QString() : TOrderFilters::StrategyFailed) << system;
    }
}

TEST_P(FiltersTest, SessionWindowIncludesBothEnds)
{
    struct Case { const char* time1; const char* time2; QTime now; bool passes; };
    const Case cases[] = {
        {"10:30:00", "18:45:00", QTime(10, 29, 59), false},
        {"10:30:00", "18:45:00", QTime(10, 30, 0), true},
        {"10:30:00", "18:45:00", QTime(18, 45, 0), true},
        {"10:30:00", "18:45:00", QTime(18, 45, 1), false},
        // The first hour digit may be a blank, missing or a zero.
        {" 9:45:00", "18:45:00", QTime(9, 45, 0), true},
        {" 9:45:00", "18:45:00", QTime(9, 44, 59), false},
        {"9:45:00", "18:45:00", QTime(9, 45, 0), true},
        {"09:45:00", "18:45:00", QTime(9, 44, 59), false},
        {"10:30:00", " 9:45:00", QTime(9, 45, 0), false},
        // A start after the end lets nothing through.
        {"18:00:00", "10:00:00", QTime(12, 0, 0), false},
        {"18:00:00", "10:00:00", QTime(19, 0, 0), false},
        {"18:00:00", "10:00:00", QTime(9, 0, 0), false},
    };
    for (const Case& c : cases) {
        Settings.edtTime1 = QString::fromLatin1(c.time1);
        Settings.edtTime2 = QString::fromLatin1(c.time2);
        Env.Clock.setTime(c.now);
        EXPECT_EQ(Reason(Order), c.passes ? QString() : TOrderFilters::TimeFailed)
            << c.time1 << "-" << c.time2 << " at " << c.now.toString().toStdString();
    }
}

TEST_P(FiltersTest, ReasonsOfEveryFailedFilterInOrder)
{
    TOmegaOrder stray;
    stray.Workspace = QStringLiteral("C:\\Other.wsp");
    stray.System = QStringLiteral("Other");
    Env.Clock.setTime(QTime(19, 0, 0));
    QString reason = QStringLiteral("left from before ");
    EXPECT_FALSE(Filters.CheckFilters(stray, reason));
    EXPECT_EQ(reason, QStringLiteral("Фильтр рабочей области не пройден. Фильтр стратегии не пройден. "
                                     "Фильтр времени торговой сессии не пройден."));

    // Only the workspace text replaces what the caller left; the others append to it.
    reason = QStringLiteral("left ");
    EXPECT_FALSE(Filters.CheckFilters(Order, reason));
    EXPECT_EQ(reason, QStringLiteral("left Фильтр времени торговой сессии не пройден."));
}

TEST_P(FiltersTest, SessionTimeTextThatIsNoTimeIsAnError)
{
    for (const char* text : {"abc", "", "25:00:00", "9:4_:00", "9:45", "10:30:00:00", "1 0:30:00", "٠٩:٤٥:٠٠"}) {
        EXPECT_THROW(SessionTime(QString::fromUtf8(text)), TError) << text;
        Settings.edtTime1 = QString::fromUtf8(text);
        QString reason;
        EXPECT_THROW(Filters.CheckFilters(Order, reason), TError) << text;
    }
    // The end of the session is read once its start has passed.
    Settings.edtTime1 = QStringLiteral("10:30:00");
    Settings.edtTime2 = QStringLiteral("18:6O:00");
    QString reason;
    EXPECT_THROW(Filters.CheckFilters(Order, reason), TError);
    Env.Clock.setTime(QTime(9, 0, 0));
    EXPECT_FALSE(Filters.CheckFilters(Order, reason));
}

TEST_P(FiltersTest, ClosedListIsAnError)
{
    DatMod.tStrategy().Close();
    QString reason;
    try {
        Filters.CheckFilters(Order, reason);
        ADD_FAILURE() << "a closed strategy list accepted or refused an order";
    } catch (const TError& error) {
        EXPECT_EQ(error.Text(), QStringLiteral("Таблица tStrategy закрыта."));
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, FiltersTest, ::testing::Values(TTestEngine::Sqlite), EngineTestName);

} // namespace
