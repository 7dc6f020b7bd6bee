#include "base/LogLines.h"

#include <algorithm>
#include <cstring>

TLogLines::TLogLines()
{
    FAnnounce.setSingleShot(true);
    FAnnounce.setInterval(0);
    connect(&FAnnounce, &QTimer::timeout, this, &TLogLines::AnnouncePending);
}

std::unique_ptr<char[]> TLogLines::NewBlock(quint32 size)
{
    // Not zeroed (as std::make_unique would): every byte is written before it is read,
    // and a megabyte zeroed in the middle of a dispatch would be work thrown away.
    return std::unique_ptr<char[]>(new char[size]);
}

TLogLines::TEntry TLogLines::Store(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    const quint32 size = quint32(utf8.size());
    if (size > kBlockSize) {
        // A line longer than a block gets a block of its own.
        FBlocks.push_back(NewBlock(size));
        std::memcpy(FBlocks.back().get(), utf8.constData(), size);
        FUsed = kBlockSize;
        return {quint32(FBlocks.size() - 1), 0, size};
    }
    if (FUsed + size > kBlockSize) {
        FBlocks.push_back(NewBlock(kBlockSize));
        FUsed = 0;
    }
    std::memcpy(FBlocks.back().get() + FUsed, utf8.constData(), size);
    const TEntry entry{quint32(FBlocks.size() - 1), FUsed, size};
    FUsed += size;
    return entry;
}

QString TLogLines::Line(int row) const
{
    if (row < 0 || row >= Count())
        return {};
    const TEntry& entry = FIndex[size_t(row)];
    return QString::fromUtf8(FBlocks[entry.Block].get() + entry.Offset, qsizetype(entry.Size));
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
