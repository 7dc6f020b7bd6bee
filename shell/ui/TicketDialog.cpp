#include "shell/ui/TicketDialog.h"

#include "data/Table.h"

#include <QBrush>
#include <QColor>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#define S QStringLiteral

TfmTicket::TfmTicket(QWidget* parent) : QDialog(parent)
{
    setObjectName(S("fmTicket"));
    setWindowModality(Qt::ApplicationModal);
    // Closing it never ends the program, even when the main window is in the tray.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(760, 320);
    lblOrder = new QLabel(this);
    lblOrder->setObjectName(S("lblOrder"));
    lblOrder->setWordWrap(true);
    grdLines = new QTableWidget(0, colCount, this);
    grdLines->setObjectName(S("grdLines"));
    grdLines->setHorizontalHeaderLabels(
        {S("Счет"), S("Код клиента"), S("Действие"), S("Операция"), S("Бумага"), S("Кол-во"), S("Цена")});
    grdLines->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdLines->setSelectionMode(QAbstractItemView::NoSelection);
    grdLines->verticalHeader()->hide();
    grdLines->horizontalHeader()->setStretchLastSection(true);
    lblAfresh = new QLabel(this);
    lblAfresh->setObjectName(S("lblAfresh"));
    lblAfresh->setWordWrap(true);
    btnSend = new QPushButton(S("&Отправить"), this);
    btnSend->setObjectName(S("btnSend"));
    btnCancel = new QPushButton(S("Отмена"), this);
    btnCancel->setObjectName(S("btnCancel"));
    // Enter does not send: sending takes a deliberate click or Alt+О.
    btnSend->setAutoDefault(false);
    btnCancel->setAutoDefault(false);
    connect(btnSend, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnSend);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblOrder);
    layout->addWidget(grdLines, 1);
    layout->addWidget(lblAfresh);
    layout->addLayout(buttons);
}

bool TfmTicket::ShowTicket(const TManualTicket& ticket)
{
    if (isVisible())
        return false;
    FTicket = ticket;
    setWindowTitle(ticket.Command);
    const qsizetype sending = std::count_if(ticket.Lines.cbegin(), ticket.Lines.cend(),
                                            [](const TPreviewLine& line) { return !line.Line.isEmpty(); });
    // In one pass: the order's wording is the strategy's text, not a pattern.
    lblOrder->setText(S("Ордер # %1 из таблицы %2: %3 \"%4\".\nСтрок к отправке: %5 из %6 счетов.")
                          .arg(QString::number(ticket.Order.Id), ticket.Table ? ticket.Table->TableName() : QString(),
                               ticket.Order.Symbol, ticket.Order.Order, QString::number(sending),
                               QString::number(ticket.Lines.size())));
    FillLines(ticket);
    QString afresh = ticket.SizingMayDiffer
        ? S("Внимание: строки строятся заново в момент подтверждения, по портфелю и позициям на тот момент: "
            "количество и цена могут отличаться от показанных.")
        : S("Строки строятся заново в момент подтверждения.");
    if (sending == 0)
        afresh += S(" Сейчас ни один счет не получит строку.");
    lblAfresh->setText(afresh);
    btnCancel->setFocus();
    show();
    raise();
    activateWindow();
    return true;
}

void TfmTicket::FillLines(const TManualTicket& ticket)
{
    grdLines->clearSpans();
    grdLines->setRowCount(int(ticket.Lines.size()));
    for (int row = 0; row < grdLines->rowCount(); ++row) {
        const TPreviewLine& line = ticket.Lines[row];
        auto put = [&](int column, const QString& text) { grdLines->setItem(row, column, new QTableWidgetItem(text)); };
        for (int column = 0; column < colCount; ++column)
            put(column, QString());
        put(colClient, line.ClientCode);
        if (line.Line.isEmpty()) {
            // The account gets nothing: why, across the rest of the row.
            put(colAction, line.Note);
            grdLines->item(row, colAction)->setForeground(QColor(160, 0, 0));
            grdLines->item(row, colAction)->setToolTip(line.Note);
            grdLines->setSpan(row, colAction, 1, colCount - colAction);
            continue;
        }
        put(colAccount, line.Value(u"ACCOUNT"));
        const QString key = line.Value(u"Order_key");
        put(colAction, key.isEmpty() ? line.Value(u"ACTION") : line.Value(u"ACTION") + S(" # ") + key);
        put(colOperation, line.Value(u"OPERATION"));
        put(colSecurity, line.Value(u"SECCODE") + S(" (") + line.Value(u"CLASSCODE") + QLatin1Char(')'));
        put(colQuantity, line.Value(u"QUANTITY"));
        const bool stop = line.Value(u"ACTION") == QLatin1String("NEW_STOP_ORDER");
        put(colPrice, stop ? line.Value(u"PRICE") + S(", стоп ") + line.Value(u"STOPPRICE") : line.Value(u"PRICE"));
        for (int column = 0; column < colCount; ++column)
            grdLines->item(row, column)->setToolTip(line.Line);
    }
    grdLines->resizeColumnsToContents();
}

#undef S
