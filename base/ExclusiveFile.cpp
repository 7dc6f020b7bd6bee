#include "base/ExclusiveFile.h"

#ifdef Q_OS_WIN
#  include <io.h>
#  include <windows.h>
#else
#  include <cerrno>
#  include <cstring>
#  include <sys/file.h>
#endif

TExclusiveFile::~TExclusiveFile()
{
    Close();
}

bool TExclusiveFile::Open(const QString& path, QString* reason)
{
    Close();
    FPath = path;
    const auto mode = QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered;
#ifdef Q_OS_WIN
    // Share mode "deny write": readers may open the file, writers may not.
    HANDLE handle = CreateFileW(reinterpret_cast<LPCWSTR>(path.utf16()), FILE_APPEND_DATA,
                                FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *reason = GetLastError() == ERROR_SHARING_VIOLATION
            ? QStringLiteral("файл занят другим процессом")
            : QStringLiteral("не удалось открыть файл (ошибка %1)").arg(GetLastError());
        return false;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), 0);
    if (!FFile.open(descriptor, mode, QFileDevice::AutoCloseHandle)) {
        *reason = FFile.errorString();
        return false;
    }
#else
    FFile.setFileName(path);
    if (!FFile.open(mode)) {
        *reason = FFile.errorString();
        return false;
    }
    if (::flock(FFile.handle(), LOCK_EX | LOCK_NB) != 0) {
        *reason = errno == EWOULDBLOCK
            ? QStringLiteral("файл занят другим процессом")
            : QString::fromLocal8Bit(std::strerror(errno));
        FFile.close();
        return false;
    }
#endif
    FSize = FFile.size();
    return true;
}

bool TExclusiveFile::Append(const QByteArray& bytes, QString* reason)
{
    if (!FFile.isOpen()) {
        *reason = QStringLiteral("Файл не открыт");
        return false;
    }
    const qint64 written = FFile.write(bytes);
    if (written != bytes.size() || !FFile.flush()) {
        *reason = FFile.errorString();
        // Do not leave a part of the lines behind: they will be offered again whole.
        if (written > 0)
            FFile.resize(FFile.size() - written);
        FFile.unsetError();
        return false;
    }
    FSize += written;
    return true;
}

void TExclusiveFile::Close()
{
    if (FFile.isOpen())
        FFile.close(); // closing the descriptor releases the lock
}
