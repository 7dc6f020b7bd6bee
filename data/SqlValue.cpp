#include "data/SqlValue.h"

#include <QByteArray>
#include <QString>
#include <cstring>

QVariant SqlValue(const QVariant& value)
{
    if (!value.isValid())
        return QVariant(QMetaType(QMetaType::QString));
    if (value.isNull())
        return value; // a NULL read from the database stays NULL
    if (value.typeId() == QMetaType::QString && static_cast<const QString*>(value.constData())->isNull())
        return QVariant(QStringLiteral(""));
    return value;
}

namespace {

template <typename T>
bool SameStored(const QVariant& a, const QVariant& b)
{
    return a.isNull() == b.isNull()
        && std::memcmp(a.constData(), b.constData(), sizeof(T)) == 0;
}

template <typename T>
bool SameShared(const QVariant& a, const QVariant& b)
{
    // A null text or bytes binds NULL whether the variant itself is null or not.
    const T& x = *static_cast<const T*>(a.constData());
    const T& y = *static_cast<const T*>(b.constData());
    return x.isNull() ? y.isNull() : (!y.isNull() && x == y);
}

} // namespace

bool SameSqlValue(const QVariant& a, const QVariant& b)
{
    const QMetaType type = a.metaType();
    if (type != b.metaType())
        return false;
    switch (type.id()) {
    case QMetaType::QString:
        return SameShared<QString>(a, b);
    case QMetaType::QByteArray:
        return SameShared<QByteArray>(a, b);
    case QMetaType::Double:
        return SameStored<double>(a, b); // bit for bit
    case QMetaType::Bool:
        return SameStored<bool>(a, b);
    case QMetaType::Int:
        return SameStored<int>(a, b);
    case QMetaType::UInt:
        return SameStored<uint>(a, b);
    case QMetaType::LongLong:
        return SameStored<qlonglong>(a, b);
    case QMetaType::ULongLong:
        return SameStored<qulonglong>(a, b);
    default:
        return false;
    }
}
