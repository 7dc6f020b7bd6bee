#include "shell/ui/NumberColumn.h"

#include "base/Environment.h"

#include <QLineEdit>
#include <QTableView>
#include <cmath>
#include <limits>

TNumberColumnDelegate::TNumberColumnDelegate(QTableView& grid, TEnvironment& environment, bool whole)
    : TGridCellDelegate(grid), FEnvironment(environment), FWhole(whole)
{
}

QWidget* TNumberColumnDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const
{
    auto* editor = new QLineEdit(parent);
    editor->setFrame(false);
    return editor;
}

void TNumberColumnDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    const QVariant value = index.data(Qt::EditRole);
    QString text;
    bool number = false;
    const double amount = value.toDouble(&number);
    if (!value.isNull() && number) {
        text = QString::number(amount, 'g', 15);
        text.replace(QLatin1Char('.'), FEnvironment.Regional.DecimalSeparator);
    } else if (!value.isNull()) {
        text = value.toString();
    }
    static_cast<QLineEdit*>(editor)->setText(text);
}

bool TNumberColumnDelegate::EditorValue(QWidget* editor, QVariant* value) const
{
    const QString text = static_cast<QLineEdit*>(editor)->text().trimmed();
    if (text.isEmpty()) {
        *value = QVariant();
        return true;
    }
    double number = 0;
    const bool read = FEnvironment.Regional.TryParseFloat(text, &number);
    if (FWhole) {
        if (read && number == std::floor(number) && std::fabs(number) <= std::numeric_limits<qint32>::max()) {
            *value = qint32(number);
            return true;
        }
        FEnvironment.ShowMessage(QStringLiteral("Значение \"%1\" не является целым числом").arg(text));
        return false;
    }
    if (read) {
        *value = number;
        return true;
    }
    FEnvironment.ShowMessage(QStringLiteral("Значение \"%1\" не является числом").arg(text));
    return false;
}
