#pragma once

#include <QHash>
#include <QList>
#include <QVariant>
#include <QVector>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

// The rows of a table that is not held in memory: the ids of its rows in the order the
// table shows them, and the values of a few pages of rows read when something asked for
// them (a grid painting the rows on screen, the current row). A table of a million rows
// then costs eight bytes a row, and a grid costs only the rows it shows: a page is read
// by its ids when one of its rows is asked for, and the oldest page read goes when more
// than KeptPages are held. One row may be added at the end before it has an id (a row
// being appended); it is held until it is stored or cancelled.
class TLazyRows {
public:
    // Reads the rows with the given ids, in any order; an id without a row is left out.
    // Throws TError when the read fails.
    using TFetch = std::function<QVector<QVector<QVariant>>(const QList<qint64>& ids)>;

    static constexpr int PageRows = 128;
    static constexpr int KeptPages = 4;

    TLazyRows(std::vector<qint64> ids, int columns, int idColumn, TFetch fetch);

    int Count() const { return int(FIds.size()) + (FPending ? 1 : 0); }
    int Columns() const { return FColumns; }
    const std::vector<qint64>& Ids() const { return FIds; }
    // The id of a row; 0 for the row being appended.
    qint64 Id(int row) const;
    bool IsPending(int row) const { return FPending && row == int(FIds.size()); }

    // The values of a row, read with its page when not held. A row gone from the database
    // since its id was read gives nulls until the next refresh removes it. Throws TError.
    const QVector<QVariant>& Row(int row);
    // The held values of a row with this id; none when they are not held.
    const QVector<QVariant>* Held(qint64 id) const;
    // The ids of the held rows, page by page.
    QList<QList<qint64>> HeldPages() const;

    // The row's values as stored now, held when its page is held (and for the row being
    // appended).
    void Put(int row, const QVector<QVariant>& values);
    // Rows that came with these ids, inserted before the given row.
    void Insert(int row, const std::vector<qint64>& ids);
    // The row being appended, after every row.
    void AppendPending(const QVector<QVariant>& values);
    // The row being appended, stored with this id, above every other id, stays where it is
    // as the row of that id; its values are read with its page, as the database keeps them.
    void SettlePending(qint64 id);
    void Remove(int row);
    // Rows first..last at once, none of them the row being appended.
    void RemoveRange(int first, int last);
    // Drops every held value: the next asking reads again.
    void Forget();

private:
    void ReadPage(int row);
    void Hold(qint64 id, QVector<QVariant> values, quint64 page);

    struct THeldRow {
        QVector<QVariant> Values;
        quint64 Page = 0;
    };
    struct TPage {
        quint64 Serial = 0;
        QList<qint64> Ids;
    };

    std::vector<qint64> FIds;
    const int FColumns;
    const int FIdColumn;
    TFetch FFetch;
    QHash<qint64, THeldRow> FHeld;
    std::deque<TPage> FPages; // the newest last
    quint64 FNextPage = 1;
    std::optional<QVector<QVariant>> FPending;
    QVector<QVariant> FGone; // the nulls of a row gone from the database
};
