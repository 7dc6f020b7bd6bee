#pragma once

#include <QVariant>

// The value a statement receives for a bound value. A text binds as text even when it is
// empty: Qt would bind a null QString as NULL, and "column = NULL" matches nothing, so an
// empty interval written by one statement could never be found by the next. Only a value
// with no type at all (QVariant()) binds NULL, typed as text so that every driver takes it,
// and a NULL read from the database stays NULL.
QVariant SqlValue(const QVariant& value);
