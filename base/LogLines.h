#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QTimer>
#include <memory>
#include <vector>

// The lines of the on-screen log, as the log view shows and edits them. A run of many days
// keeps every line, so the texts are packed as UTF-8 into large blocks with a small index
// entry per line instead of one object per line. An edited line gets its new text at the
// end of the blocks; the old bytes are simply left behind (edits are rare).
//
// Appended lines are held at once (Count, Line and the log file see them) but announced
// to the views together, once per turn of the event loop: a dispatch logs a line per
// account, and a view that hears of each line alone scrolls and paints once per line.
// The model's rows are the lines announced so far; an edit announces the pending lines
// first, so that the rows it names are the lines it means.
class TLogLines : public QAbstractListModel {
    Q_OBJECT
public:
    TLogLines();

    int Count() const { return int(FIndex.size()); }
    QString Line(int row) const;
    void Append(const QString& text);
    // Announces the lines appended since the last announcement to the views now (it
    // otherwise happens when the event loop next runs).
    void AnnouncePending();
    // Edits by the operator in the view.
    void SetLine(int row, const QString& text);
    void InsertLine(int row, const QString& text);
    void RemoveLines(int row, int count);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    struct TEntry {
        quint32 Block;
        quint32 Offset;
        quint32 Size;
    };
    static std::unique_ptr<char[]> NewBlock(quint32 size);
    TEntry Store(const QString& text);

    static constexpr quint32 kBlockSize = 1u << 20;
    std::vector<std::unique_ptr<char[]>> FBlocks;
    quint32 FUsed = kBlockSize; // bytes used in the last block; full before the first
    std::vector<TEntry> FIndex;
    int FAnnounced = 0; // lines the views know of: the first FAnnounced of FIndex
    QTimer FAnnounce;   // zero-time, single-shot: the next turn of the event loop
};
