#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTimer>
#include <memory>
#include <vector>

// The lines of the on-screen log, as the log view shows and edits them. A run of many days
// keeps every line, so the texts are packed as UTF-8 into large blocks with a small index
// entry per line instead of one object per line. An edited line gets its new text at the
// end of the blocks; the old bytes are simply left behind (edits are rare).
//
// Only the last few blocks stay in memory: an older block goes to a spill file that the
// log owns and its lines are read back from there when the view or the log file asks for
// them, so a week of orders costs disk, not memory. The spill file is removed with the
// lines. A block that cannot be written out stays in memory and is offered again.
//
// Appended lines are held at once (Count, Line and the log file see them) but announced
// to the views together, once per turn of the event loop: a dispatch logs a line per
// account, and a view that hears of each line alone scrolls and paints once per line.
// The model's rows are the lines announced so far; an edit announces the pending lines
// first, so that the rows it names are the lines it means.
class TLogLines : public QAbstractListModel {
    Q_OBJECT
public:
    // How the texts are held: blocks of BlockBytes, of which the last BlocksHeld stay in
    // memory.
    struct TBound {
        quint32 BlockBytes = 1u << 20;
        int BlocksHeld = 4;
    };
    TLogLines();
    explicit TLogLines(TBound bound);
    ~TLogLines() override;

    // The spill file's path; a temporary file when none is set. Takes effect at the next
    // block written out.
    void SetSpillPath(const QString& path);
    // Blocks of text held in memory and written out to the spill file.
    int BlocksInMemory() const;
    int BlocksSpilled() const;
    // Whether the line's text is in memory (false: it is read back from the spill file).
    bool HeldInMemory(int row) const;

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
    // A block's bytes in memory, or its place in the spill file once written out.
    struct TBlock {
        std::unique_ptr<char[]> Data;
        quint32 Used = 0;
        qint64 FilePos = -1;
    };
    static std::unique_ptr<char[]> NewBlock(quint32 size);
    TEntry Store(const QString& text);
    TBlock& AddBlock(quint32 size);
    // Writes the blocks before the last BlocksHeld ones out and frees their memory.
    void SpillOldBlocks();
    bool OpenSpill();
    QByteArray ReadSpilled(const TBlock& block, const TEntry& entry) const;

    TBound FBound;
    std::vector<TBlock> FBlocks;
    size_t FFirstHeld = 0; // blocks before this one have been written out
    QString FSpillPath;
    mutable std::unique_ptr<QFile> FSpill;
    std::vector<TEntry> FIndex;
    int FAnnounced = 0; // lines the views know of: the first FAnnounced of FIndex
    QTimer FAnnounce;   // zero-time, single-shot: the next turn of the event loop
};
