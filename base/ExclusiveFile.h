#pragma once

#include <QFile>
#include <QString>

// A file opened for appending that no other process may open for writing while we hold
// it: on Windows through the share mode of the open, elsewhere through an exclusive
// advisory lock that every Zovrant instance takes. Other programs may still read it.
class TExclusiveFile {
public:
    TExclusiveFile() = default;
    ~TExclusiveFile();
    TExclusiveFile(const TExclusiveFile&) = delete;
    TExclusiveFile& operator=(const TExclusiveFile&) = delete;

    // Opens or creates the file for appending; false with a reason when it cannot,
    // also when another process holds it.
    bool Open(const QString& path, QString* reason);
    // Appends the bytes and hands them to the operating system; false with a reason.
    bool Append(const QByteArray& bytes, QString* reason);
    void Close();
    bool IsOpen() const { return FFile.isOpen(); }
    // The path it was opened with, and its size (0 when not open): taken at the open and
    // counted on with each append, not asked of the file system at every save.
    const QString& Path() const { return FPath; }
    qint64 Size() const { return FFile.isOpen() ? FSize : 0; }

private:
    QFile FFile;
    QString FPath;
    qint64 FSize = 0;
};
