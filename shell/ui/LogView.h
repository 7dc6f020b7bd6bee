#pragma once

#include <QListView>

class TLogLines;

// The log tab's view of the on-screen log: one row per log line, a vertical scroll bar,
// following the end while it is shown there. The operator may edit it: a double click or
// F2 edits a line, Insert adds an empty line after the current one, Delete removes the
// selected lines.
class TLogView : public QListView {
    Q_OBJECT
public:
    TLogView(TLogLines& lines, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    TLogLines& FLines;
};
