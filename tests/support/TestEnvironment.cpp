#include "tests/support/TestEnvironment.h"

#include "base/OperationLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

QByteArray ReadWholeFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void WriteWholeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write " + path.toStdString());
    file.write(bytes);
}

QStringList LogLinesOf(const TOperationLog& log)
{
    QStringList lines;
    for (int i = 0; i < log.LineCount(); ++i)
        lines << log.Line(i);
    return lines;
}

bool WaitUntil(const std::function<bool()>& condition)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 30000) {
        QCoreApplication::processEvents();
        if (condition())
            return true;
        QThread::msleep(10);
    }
    return condition();
}
