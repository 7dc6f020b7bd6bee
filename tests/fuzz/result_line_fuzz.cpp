// The terminal's result line: any bytes the terminal (or a damaged file) may leave on one
// line of the result file, decoded as the reader decodes them.
#include "tests/fuzz/FuzzCheck.h"

#include "base/CodePage.h"
#include "trade/ResultLine.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString line = FromCp1251(bytes);
    const TResultLineParse parse = ParseResultLine(line);
    if (parse.Result)
        FuzzCheck(parse.Result->TransId >= 0, "a booked result names a transaction number of at least 0");
    // What the log quotes of a line stays short and on one line, whatever the line holds.
    for (const QString& problem : parse.Problems) {
        FuzzCheck(!problem.contains(QLatin1Char('\n')) && !problem.contains(QLatin1Char('\r')),
                  "a log line about a result line is one line");
        FuzzCheck(problem.size() < 3 * 4 * LogFragmentLength, "a log line about a result line is short");
    }
    return 0;
}
