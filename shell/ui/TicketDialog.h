#pragma once

#include "intake/ManualOrders.h"

#include <QDialog>
#include <optional>

class QLabel;
class QPushButton;
class QTableWidget;

// The order ticket of the manual commands: what the command would send, one row per
// account (account, client code, action, operation, security, quantity, price), before
// anything is sent. "Отправить" confirms, "Отмена" (or closing it) sends nothing. Shown
// without a nested message loop, modal for the application; the owner hears how it
// closed through finished() and reads the ticket back.
class TfmTicket : public QDialog {
    Q_OBJECT
public:
    explicit TfmTicket(QWidget* parent = nullptr);

    // Shows the ticket; false, leaving the open one as it is, while another is open.
    bool ShowTicket(const TManualTicket& ticket);
    // The ticket shown last.
    const std::optional<TManualTicket>& Ticket() const { return FTicket; }

    QLabel* lblOrder = nullptr;
    QTableWidget* grdLines = nullptr;
    QLabel* lblAfresh = nullptr;
    QPushButton* btnSend = nullptr;   // "Отправить"
    QPushButton* btnCancel = nullptr; // "Отмена"

    // The table's columns.
    enum { colAccount, colClient, colAction, colOperation, colSecurity, colQuantity, colPrice, colCount };

private:
    void FillLines(const TManualTicket& ticket);

    std::optional<TManualTicket> FTicket;
};
