#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// Which file a path names at one moment: the device and the file number on it. A file
// removed, or another file renamed over the path, gives another identity (or none), while
// writes to the file and a change of its size keep it.
struct TFileIdentity {
    quint64 Device = 0;
    quint64 Inode = 0;
    bool operator==(const TFileIdentity&) const = default;
};

// The identity of the file at the path now; none when no file is there. None as well on
// Windows, where a file held open by a database engine can neither be removed nor
// replaced, so that there is nothing to tell apart.
std::optional<TFileIdentity> FileIdentityOf(const QString& path);
