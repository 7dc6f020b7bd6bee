#include "base/LogLines.h"

#include <QTemporaryFile>
#include <algorithm>
#include <cstring>

TLogLines::TLogLines()
    : TLogLines(TBound{})
{
}

TLogLines::TLogLines(TBound bound)
    : FBound(bound)
{
    FBound.BlockBytes = std::max<quint32>(FBound.BlockBytes, 1);
    FBound.BlocksHeld = std::max(FBound.BlocksHeld, 1); // the block being filled stays
    FAnnounce.setSingleShot(true);
    FAnnounce.setInterval(0);
    connect(&FAnnounce, &QTimer::timeout, this, &TLogLines::AnnouncePending);
}

TLogLines::~TLogLines()
{
    if (FSpill) {
        FSpill->close();
        FSpill->remove(); // a temporary file removes itself; a named one is removed here
    }
}

void TLogLines::SetSpillPath(const QString& path)
{
    FSpillPath = path;
}

int TLogLines::BlocksInMemory() const
{
    return int(std::count_if(FBlocks.begin(), FBlocks.end(), [](const TBlock& block) { return block.Data != nullptr; }));
}

int TLogLines::BlocksSpilled() const
{
    return int(FBlocks.size()) - BlocksInMemory();
}

bool TLogLines::HeldInMemory(int row) const
{
    return row >= 0 && row < Count() && FBlocks[FIndex[size_t(row)].Block].Data != nullptr;
}

std::unique_ptr<char[]> TLogLines::NewBlock(quint32 size)
{
    // Not zeroed (as std::make_unique would): every byte is written before it is read,
    // and a megabyte zeroed in the middle of a dispatch would be work thrown away.
    return std::unique_ptr<char[]>(new char[size]);
}

TLogLines::TBlock& TLogLines::AddBlock(quint32 size)
{
    FBlocks.push_back(TBlock{NewBlock(size), 0, -1});
    SpillOldBlocks();
    return FBlocks.back();
}

TLogLines::TEntry TLogLines::Store(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    const quint32 size = quint32(utf8.size());
    if (FBlocks.empty() || FBlocks.back().Used + size > FBound.BlockBytes) {
        // A line longer than a block gets a block of its own (and fills it).
        AddBlock(std::max(size, FBound.BlockBytes));
    }
    TBlock& block = FBlocks.back();
    std::memcpy(block.Data.get() + block.Used, utf8.constData(), size);
    const TEntry entry{quint32(FBlocks.size() - 1), block.Used, size};
    block.Used += size;
    return entry;
}

bool TLogLines::OpenSpill()
{
    if (FSpill)
        return FSpill->isOpen();
    if (FSpillPath.isEmpty()) {
        auto temporary = std::make_unique<QTemporaryFile>();
        if (!temporary->open())
            return false;
        FSpill = std::move(temporary);
        return true;
    }
    auto file = std::make_unique<QFile>(FSpillPath);
    // Left over from a run that did not end cleanly: the lines it held are in the log file.
    if (!file->open(QIODevice::ReadWrite | QIODevice::Truncate))
        return false;
    FSpill = std::move(file);
    return true;
}

void TLogLines::SpillOldBlocks()
{
    while (FBlocks.size() - FFirstHeld > size_t(FBound.BlocksHeld)) {
        TBlock& block = FBlocks[FFirstHeld];
        if (!OpenSpill())
            return;
        const qint64 pos = FSpill->size();
        const qint64 used = block.Used;
        if (!FSpill->seek(pos) || FSpill->write(block.Data.get(), used) != used || !FSpill->flush()) {
            // The disk refuses: the block stays in memory and is tried with the next one.
            FSpill->resize(pos);
            return;
        }
        block.FilePos = pos;
        block.Data.reset();
        ++FFirstHeld;
    }
}

QByteArray TLogLines::ReadSpilled(const TBlock& block, const TEntry& entry) const
{
    if (!FSpill || !FSpill->seek(block.FilePos + entry.Offset))
        return {};
    return FSpill->read(entry.Size);
}

QString TLogLines::Line(int row) const
{
    if (row < 0 || row >= Count())
        return {};
    const TEntry& entry = FIndex[size_t(row)];
    const TBlock& block = FBlocks[entry.Block];
    if (block.Data)
        return QString::fromUtf8(block.Data.get() + entry.Offset, qsizetype(entry.Size));
    return QString::fromUtf8(ReadSpilled(block, entry));
}

void TLogLines::Append(const QString& text)
{
    FIndex.push_back(Store(text));
    if (!FAnnounce.isActive())
        FAnnounce.start();
}

void TLogLines::AnnouncePending()
{
    FAnnounce.stop();
    if (FAnnounced == Count())
        return;
    // The entries are in place already; the views may read them once they are told.
    beginInsertRows({}, FAnnounced, Count() - 1);
    FAnnounced = Count();
    endInsertRows();
}

void TLogLines::SetLine(int row, const QString& text)
{
    AnnouncePending();
    if (row < 0 || row >= Count())
        return;
    FIndex[size_t(row)] = Store(text);
    emit dataChanged(index(row), index(row));
}

void TLogLines::InsertLine(int row, const QString& text)
{
    AnnouncePending();
    row = std::clamp(row, 0, Count());
    beginInsertRows({}, row, row);
    FIndex.insert(FIndex.begin() + row, Store(text));
    ++FAnnounced;
    endInsertRows();
}

void TLogLines::RemoveLines(int row, int count)
{
    AnnouncePending();
    if (row < 0 || count <= 0 || row >= Count())
        return;
    count = std::min(count, Count() - row);
    beginRemoveRows({}, row, row + count - 1);
    FIndex.erase(FIndex.begin() + row, FIndex.begin() + row + count);
    FAnnounced -= count;
    endRemoveRows();
}

int TLogLines::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : FAnnounced;
}

QVariant TLogLines::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= FAnnounced || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return Line(index.row());
}

Qt::ItemFlags TLogLines::flags(const QModelIndex& index) const
{
    return QAbstractListModel::flags(index) | Qt::ItemIsEditable;
}

bool TLogLines::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.row() >= FAnnounced || role != Qt::EditRole)
        return false;
    SetLine(index.row(), value.toString());
    return true;
}
