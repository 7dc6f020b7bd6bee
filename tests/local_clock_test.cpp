#include "base/LocalClock.h"

#include <QThread>
#include <gtest/gtest.h>
#include <optional>

namespace {

// Sets TZ for one test and puts back what the process had.
class TZoneScope {
public:
    explicit TZoneScope(const QByteArray& zone)
    {
        if (qEnvironmentVariableIsSet("TZ"))
            FBefore = qgetenv("TZ");
        qputenv("TZ", zone);
    }
    ~TZoneScope()
    {
        if (FBefore)
            qputenv("TZ", *FBefore);
        else
            qunsetenv("TZ");
    }
    TZoneScope(const TZoneScope&) = delete;
    TZoneScope& operator=(const TZoneScope&) = delete;

private:
    std::optional<QByteArray> FBefore;
};

void WaitForTheNextSecond()
{
    const qint64 second = QDateTime::currentMSecsSinceEpoch() / 1000;
    while (QDateTime::currentMSecsSinceEpoch() / 1000 == second)
        QThread::msleep(20);
}

TEST(LocalClockTest, GivesTheTimeOfTheZoneAndFollowsAChangeOfZoneWithinASecond)
{
    TZoneScope zone("MSK-3"); // three hours ahead of UTC, no summer time
    TLocalClock clock;
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    const QDateTime moscow = clock.Now();
    const qint64 after = QDateTime::currentMSecsSinceEpoch();
    EXPECT_EQ(moscow.offsetFromUtc(), 3 * 3600);
    EXPECT_GE(moscow.toMSecsSinceEpoch(), before);
    EXPECT_LE(moscow.toMSecsSinceEpoch(), after);
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch(moscow.toMSecsSinceEpoch(), Qt::UTC);
    EXPECT_EQ(moscow.time(), utc.time().addSecs(3 * 3600));
    EXPECT_EQ(moscow.date(), utc.addSecs(3 * 3600).date());
    // Readings in the same second reuse the offset, and the time still moves on.
    const QDateTime later = clock.Now();
    EXPECT_GE(later, moscow);
    EXPECT_EQ(later.offsetFromUtc(), 3 * 3600);

    qputenv("TZ", "EST5"); // the operator moves the zone: five hours behind UTC
    WaitForTheNextSecond();
    const QDateTime newYork = clock.Now();
    EXPECT_EQ(newYork.offsetFromUtc(), -5 * 3600);
    EXPECT_EQ(newYork.time(), QDateTime::fromMSecsSinceEpoch(newYork.toMSecsSinceEpoch(), Qt::UTC)
                                  .time()
                                  .addSecs(-5 * 3600));
}

} // namespace
