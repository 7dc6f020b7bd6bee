// The regional number reader: any text read as a number under a point or a comma decimal
// separator, and the numbers the program writes read back.
#include "tests/fuzz/FuzzCheck.h"

#include "base/Environment.h"
#include "base/Error.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    static const TRegional point;
    static const TRegional comma = TRegional::Russian();
    const TRegional& regional = input.ConsumeBool() ? comma : point;
    const int decimals = input.ConsumeIntegralInRange(0, 17);
    const QString text = QString::fromUtf8(input.ConsumeRemainingBytesAsString());

    double value = 0;
    const bool read = regional.TryParseFloat(text, &value);
    bool thrown = false;
    try {
        regional.ParseFloat(text);
    } catch (const TError&) {
        thrown = true;
    }
    FuzzCheck(read != thrown, "ParseFloat throws exactly when TryParseFloat refuses");
    if (!read)
        return 0;
    FuzzCheck(std::isfinite(value), "a number read is finite");

    const QString written = regional.FormatFloat(value, decimals);
    double again = 0;
    FuzzCheck(regional.TryParseFloat(written, &again), "a number written reads back");
    return 0;
}
