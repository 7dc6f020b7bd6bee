#include "data/LazyRows.h"

#include <algorithm>

TLazyRows::TLazyRows(std::vector<qint64> ids, int columns, int idColumn, TFetch fetch)
    : FIds(std::move(ids)), FColumns(columns), FIdColumn(idColumn), FFetch(std::move(fetch)), FGone(columns)
{
}

qint64 TLazyRows::Id(int row) const
{
    return row >= 0 && row < int(FIds.size()) ? FIds[size_t(row)] : 0;
}

const QVector<QVariant>& TLazyRows::Row(int row)
{
    if (IsPending(row))
        return *FPending;
    const qint64 id = FIds.at(size_t(row));
    auto held = FHeld.constFind(id);
    if (held == FHeld.cend()) {
        ReadPage(row);
        held = FHeld.constFind(id);
    }
    return held == FHeld.cend() ? FGone : held->Values;
}

const QVector<QVariant>* TLazyRows::Held(qint64 id) const
{
    const auto held = FHeld.constFind(id);
    return held == FHeld.cend() ? nullptr : &held->Values;
}

QList<QList<qint64>> TLazyRows::HeldPages() const
{
    QList<QList<qint64>> pages;
    for (const TPage& page : FPages) {
        QList<qint64> ids;
        for (const qint64 id : page.Ids) {
            const auto held = FHeld.constFind(id);
            if (held != FHeld.cend() && held->Page == page.Serial)
                ids << id;
        }
        if (!ids.isEmpty())
            pages << ids;
    }
    return pages;
}

void TLazyRows::ReadPage(int row)
{
    // Pages are cut by position, so that a grid scrolling row by row reads one page per
    // PageRows rows whatever the ids are.
    const int first = row - row % PageRows;
    const int last = std::min<int>(first + PageRows, int(FIds.size()));
    QList<qint64> ids;
    ids.reserve(last - first);
    for (int i = first; i < last; ++i)
        ids << FIds[size_t(i)];
    const QVector<QVector<QVariant>> rows = FFetch(ids); // throws before anything changes
    if (int(FPages.size()) >= KeptPages) {
        const TPage& oldest = FPages.front();
        for (const qint64 id : oldest.Ids) {
            const auto held = FHeld.find(id);
            if (held != FHeld.end() && held->Page == oldest.Serial)
                FHeld.erase(held);
        }
        FPages.pop_front();
    }
    const quint64 serial = FNextPage++;
    QList<qint64> read;
    for (const QVector<QVariant>& values : rows) {
        if (values.size() != FColumns)
            continue;
        const qint64 id = values[FIdColumn].toLongLong();
        if (!ids.contains(id))
            continue;
        Hold(id, values, serial);
        read << id;
    }
    FPages.push_back(TPage{serial, read});
}

void TLazyRows::Hold(qint64 id, QVector<QVariant> values, quint64 page)
{
    THeldRow& held = FHeld[id];
    held.Values = std::move(values);
    held.Page = page;
}

void TLazyRows::Put(int row, const QVector<QVariant>& values)
{
    if (IsPending(row)) {
        FPending = values;
        return;
    }
    const auto held = FHeld.find(FIds.at(size_t(row)));
    if (held != FHeld.end())
        held->Values = values;
}

void TLazyRows::Insert(int row, const std::vector<qint64>& ids)
{
    FIds.insert(FIds.begin() + row, ids.begin(), ids.end());
}

void TLazyRows::AppendPending(const QVector<QVariant>& values)
{
    FPending = values;
}

void TLazyRows::SettlePending(qint64 id)
{
    FPending.reset();
    FIds.push_back(id);
}

void TLazyRows::Remove(int row)
{
    if (IsPending(row)) {
        FPending.reset();
        return;
    }
    FHeld.remove(FIds.at(size_t(row)));
    FIds.erase(FIds.begin() + row);
}

void TLazyRows::RemoveRange(int first, int last)
{
    for (int row = first; row <= last; ++row)
        FHeld.remove(FIds.at(size_t(row)));
    FIds.erase(FIds.begin() + first, FIds.begin() + last + 1);
}

void TLazyRows::Forget()
{
    FHeld.clear();
    FPages.clear();
}
