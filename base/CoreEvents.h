#pragma once

#include <QString>

// What the parts of the program report upward as it happens: calls go down from the
// core to its parts, and what a part has to tell the core and its views travels up
// through this one interface. Each event does nothing by default, so a part built alone
// (in a test, a tool or a benchmark) is given TNullEvents; the program's core listens
// and passes each event on to its views and to the mailer.
class TCoreEvents {
public:
    virtual ~TCoreEvents() = default;

    // An announcement the operator asked to receive by e-mail (a transaction sent or
    // executed, a change of the terminal's link).
    virtual void Announce(const QString& text) { (void)text; }
    // Connection states, transaction counters or the terminal's link changed: the status
    // bar is to show them.
    virtual void StatusChanged() {}
    // Both databases were connected by the connect procedure.
    virtual void BasesConnected() {}
    // Watching was switched on or off.
    virtual void WatchingChanged(bool watching) { (void)watching; }
    // The watch animation moved to another frame (0 is the idle picture).
    virtual void WatchIconChanged(int frame) { (void)frame; }
    // The portfolio rows were read again: their totals are to be shown anew.
    virtual void PortfolioChanged() {}
    // A securities row was stored or deleted: the securities' sums are to be shown anew.
    virtual void SecuritiesChanged() {}
};

// Listens to nothing: for parts used without the program's core.
class TNullEvents final : public TCoreEvents {};
