#pragma once

#include <QHeaderView>

// A grid's row indicator: the rows' numbers down its left side. Qt sizes a header by
// measuring the labels of its first and last hundred rows, again each time rows come or
// go: two hundred text measurements after every dispatch that books rows, a large part
// of what a grid then costs. The numbers' widest label is the last row's (it has the
// most digits), so the indicator measures the first and the last only.
class TRowIndicator : public QHeaderView {
    Q_OBJECT
public:
    // Clickable and highlighting the current row, as a table view's own row header.
    explicit TRowIndicator(QWidget* parent = nullptr) : QHeaderView(Qt::Vertical, parent)
    {
        setSectionsClickable(true);
        setHighlightSections(true);
    }

    QSize sizeHint() const override;
};
