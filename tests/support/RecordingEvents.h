#pragma once

#include "base/CoreEvents.h"

#include <QStringList>
#include <functional>

// Records the events a part reports, in order: "status", "connected", "watching 1",
// "icon 2", "portfolio", "sums"; announcements go to Announced. OnEvent runs after each
// record (a test may throw from it to see how the part copes with a failing listener).
class TRecordingEvents : public TCoreEvents {
public:
    QStringList Calls;
    QStringList Announced;
    std::function<void(const QString& call)> OnEvent;
    // Runs after an announcement is recorded (a mailer's message loop may serve a tick).
    std::function<void(const QString& text)> OnAnnounce;

    void Announce(const QString& text) override
    {
        Announced << text;
        if (OnAnnounce)
            OnAnnounce(text);
    }
    void StatusChanged() override { Record(QStringLiteral("status")); }
    void BasesConnected() override { Record(QStringLiteral("connected")); }
    void WatchingChanged(bool watching) override { Record(QStringLiteral("watching %1").arg(watching)); }
    void WatchIconChanged(int frame) override { Record(QStringLiteral("icon %1").arg(frame)); }
    void PortfolioChanged() override { Record(QStringLiteral("portfolio")); }
    void SecuritiesChanged() override { Record(QStringLiteral("sums")); }

    int Count(const QString& call) const { return static_cast<int>(Calls.count(call)); }

private:
    void Record(const QString& call)
    {
        Calls << call;
        if (OnEvent)
            OnEvent(call);
    }
};
