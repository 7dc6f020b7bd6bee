// Memory the on-screen log holds per line over a long run: 1,000,000 log lines of the
// usual length. The floor is the bytes of the line texts themselves (UTF-8); the goal is
// at most 300 bytes per line in all.

#include "base/Environment.h"
#include "base/OperationLog.h"

#include <QCoreApplication>
#include <cstdio>
#include <malloc.h>

namespace {

size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd; // small blocks and mapped large blocks
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication application(argc, argv);
    TEnvironment environment;
    environment.Regional = TRegional::Russian();
    TOperationLog log(environment);

    const int lines = 1000000;
    size_t textBytes = 0;
    const size_t before = HeapInUse();
    for (int i = 0; i < lines; ++i) {
        const QString message = QStringLiteral("Транзакция номер %1 [B 3 SBER at 250.50]  по счету C1 отправлена в Quik.").arg(i);
        log.AddToLog(message);
        if (i == 0)
            textBytes = size_t(log.Line(0).toUtf8().size());
    }
    const double perLine = double(HeapInUse() - before) / lines;
    std::printf("on-screen log: %d lines, %.1f bytes per line held, floor %zu bytes of text per line, "
                "goal <= 300 bytes per line: %s\n",
                log.LineCount(), perLine, textBytes, perLine <= 300 ? "met" : "MISSED");
    return 0;
}
