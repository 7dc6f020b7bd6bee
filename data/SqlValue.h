#pragma once

#include <QVariant>

// The value a statement receives for a bound value. A text binds as text even when it is
// empty: Qt would bind a null QString as NULL, and "column = NULL" matches nothing, so an
// empty interval written by one statement could never be found by the next. Only a value
// with no type at all (QVariant()) binds NULL, typed as text so that every driver takes it,
// and a NULL read from the database stays NULL.
QVariant SqlValue(const QVariant& value);

// True when binding b in place of a gives a statement the very same value: the same type
// and the same value (a number with a fraction bit for bit), or NULL both (a null text or
// bytes binds NULL). Kinds of values not listed in the implementation are never the same,
// so they are always bound again.
bool SameSqlValue(const QVariant& a, const QVariant& b);
