#include "shell/ui/GridFooter.h"

#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QTableView>

TGridFooter::TGridFooter(QTableView& grid, QWidget* parent) : QWidget(parent), FGrid(grid)
{
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(0, 255, 255)); // aqua
    setPalette(colours);
    const int columns = grid.model()->columnCount();
    for (int i = 0; i < columns; ++i) {
        auto* label = new QLabel(this);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setContentsMargins(2, 0, 4, 0);
        FLabels << label;
    }
    setFixedHeight(fontMetrics().height() + 6);
    QHeaderView* header = grid.horizontalHeader();
    connect(header, &QHeaderView::sectionResized, this, &TGridFooter::Place);
    connect(header, &QHeaderView::geometriesChanged, this, &TGridFooter::Place);
    connect(grid.horizontalScrollBar(), &QScrollBar::valueChanged, this, &TGridFooter::Place);
    Place();
}

void TGridFooter::SetText(int column, const QString& text)
{
    if (column >= 0 && column < FLabels.size())
        FLabels[column]->setText(text);
}

QString TGridFooter::Text(int column) const
{
    return column >= 0 && column < FLabels.size() ? FLabels[column]->text() : QString();
}

void TGridFooter::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Place();
}

void TGridFooter::Place()
{
    QHeaderView* header = FGrid.horizontalHeader();
    // The grid's cells start after its frame and its row indicator.
    const int left = FGrid.frameWidth() + (FGrid.verticalHeader()->isHidden() ? 0 : FGrid.verticalHeader()->width());
    for (int i = 0; i < FLabels.size(); ++i) {
        FLabels[i]->setGeometry(left + header->sectionViewportPosition(i), 0, header->sectionSize(i), height());
        FLabels[i]->setVisible(!header->isSectionHidden(i));
    }
}
