#pragma once

#include <QList>
#include <QWidget>

class QLabel;
class QTableView;

// The footer row under a grid: one text per column, kept under its column as the operator
// resizes or scrolls the columns.
class TGridFooter : public QWidget {
    Q_OBJECT
public:
    TGridFooter(QTableView& grid, QWidget* parent = nullptr);

    void SetText(int column, const QString& text);
    QString Text(int column) const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Place();

    QTableView& FGrid;
    QList<QLabel*> FLabels;
};
