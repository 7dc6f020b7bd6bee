#include "data/SqlValue.h"

#include <QString>

QVariant SqlValue(const QVariant& value)
{
    if (!value.isValid())
        return QVariant(QMetaType(QMetaType::QString));
    if (value.isNull())
        return value; // a NULL read from the database stays NULL
    if (value.typeId() == QMetaType::QString && value.toString().isNull())
        return QVariant(QStringLiteral(""));
    return value;
}
