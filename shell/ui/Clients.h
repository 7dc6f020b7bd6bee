#pragma once

#include <QDialog>

class QGroupBox;
class QPushButton;
class TDataGrid;
class TDBNavigator;
class TTable;
struct TEnvironment;

// The clients dialog "Клиенты": a grid over the bridge database's clients table with a
// navigator bar under it, rows added, changed and deleted (after a question) through
// them, and "OK" / "Отмена" below. Made once at program start, shown modally by the
// clients command.
class TfmClients : public QDialog {
    Q_OBJECT
public:
    TfmClients(TTable& tClients, TEnvironment& environment, QWidget* parent = nullptr);

    // The clients command's cycle: the dialog shown modally, then FinishCycle.
    void actClientsExecute();
    // After the dialog closed with the result: with OK a row being edited is stored, with
    // "Отмена" its edit is cancelled; any other result leaves it. A new row without any
    // value yet is dropped whatever the result: an empty row is no client. Throws TError
    // when the row cannot be stored.
    void FinishCycle(int result);

    QGroupBox* GroupBox1 = nullptr;
    TDataGrid* DBGrid1 = nullptr;
    TDBNavigator* DBNavigator1 = nullptr;
    QPushButton* BitBtn1 = nullptr; // OK
    QPushButton* BitBtn2 = nullptr; // Отмена

private:
    // Whether the row being entered holds no value at all.
    bool BlankRow();

    TTable& FtClients;
};
