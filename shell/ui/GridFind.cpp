#include "shell/ui/GridFind.h"

#include "base/Environment.h"

#include <QKeyEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

bool FindInGrid(QTableView& grid, const QString& text)
{
    QAbstractItemModel* model = grid.model();
    if (!model || text.isEmpty())
        return false;
    const int rows = model->rowCount();
    const int columns = model->columnCount();
    const int cells = rows * columns;
    if (cells == 0)
        return false;
    const QModelIndex current = grid.currentIndex();
    const int start = current.isValid() ? current.row() * columns + current.column() + 1 : 0;
    for (int step = 0; step < cells; ++step) {
        const int cell = (start + step) % cells;
        const QModelIndex index = model->index(cell / columns, cell % columns);
        if (grid.isColumnHidden(index.column()))
            continue;
        if (index.data(Qt::DisplayRole).toString().contains(text, Qt::CaseInsensitive)) {
            grid.setCurrentIndex(index);
            grid.scrollTo(index);
            return true;
        }
    }
    return false;
}

TGridFind::TGridFind(QTableView& grid, TEnvironment& environment)
    : QDialog(&grid), FGrid(grid), FEnvironment(environment)
{
    setWindowTitle(QStringLiteral("Поиск"));
    setModal(false);
    edtFind = new QLineEdit(this);
    auto* findNext = new QPushButton(QStringLiteral("Найти далее"), this);
    findNext->setDefault(true);
    auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Найти:"), this));
    layout->addWidget(edtFind, 1);
    layout->addWidget(findNext);
    layout->addWidget(close);
    connect(findNext, &QPushButton::clicked, this, &TGridFind::FindNext);
    connect(close, &QPushButton::clicked, this, &QDialog::hide);

    grid.installEventFilter(this);
}

bool TGridFind::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &FGrid && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Find)) {
        show();
        raise();
        activateWindow();
        edtFind->setFocus();
        edtFind->selectAll();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TGridFind::FindNext()
{
    if (edtFind->text().isEmpty())
        return;
    if (!FindInGrid(FGrid, edtFind->text()))
        FEnvironment.ShowMessage(QStringLiteral("Текст \"%1\" не найден.").arg(edtFind->text()));
}
