#pragma once

#include <QDialog>

class QLabel;

// The About window: the program's name and purpose, the run's transaction counters as
// they stood when it was opened, and the maker's links. Shown without blocking the main
// window; closing it only hides it.
class TfmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfmAbout(QWidget* parent = nullptr);

    // actAboutExecute: the counters as a/b/c, then the window shown or brought to the front.
    void ShowCounters(qint32 transCounter, int transSentCount, int transDoneCount);

    QLabel* pnQty = nullptr;
    QLabel* lwww = nullptr;
    QLabel* lmail = nullptr;
};
