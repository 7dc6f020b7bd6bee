#include "data/UnicodeNoCase.h"

#include <QStringDecoder>
#include <QStringView>
#include <QVarLengthArray>
#include <algorithm>
#include <sqlite3.h>

namespace {

char FoldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

int Sign(qsizetype value)
{
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

// The rest of two texts from a character that is not ASCII on: UTF-8 decoded as
// QString::fromUtf8 decodes it (a malformed sequence becomes U+FFFD, a byte order mark
// that starts the text is dropped) into buffers on the stack, and compared as QString
// compares without case. The texts before were equal ASCII, which decodes to as many
// UTF-16 units as it has bytes, so comparing the rests orders the whole texts.
int CompareUnicodeRest(QByteArrayView left, QByteArrayView right, bool textStart)
{
    // Past the start of the text a byte order mark is a character like any other.
    QStringDecoder::Flags flags = QStringDecoder::Flag::Stateless;
    if (!textStart)
        flags |= QStringDecoder::Flag::ConvertInitialBom;
    QStringDecoder toLeft(QStringDecoder::Utf8, flags);
    QStringDecoder toRight(QStringDecoder::Utf8, flags);
    QVarLengthArray<QChar, 256> a(toLeft.requiredSpace(left.size()));
    QVarLengthArray<QChar, 256> b(toRight.requiredSpace(right.size()));
    const QChar* aEnd = toLeft.appendToBuffer(a.data(), left);
    const QChar* bEnd = toRight.appendToBuffer(b.data(), right);
    return Sign(QStringView(a.data(), aEnd).compare(QStringView(b.data(), bEnd), Qt::CaseInsensitive));
}

int CompareWithoutCase(void*, int leftLength, const void* left, int rightLength, const void* right)
{
    return CompareUtf8WithoutCase(QByteArrayView(static_cast<const char*>(left), leftLength),
                                  QByteArrayView(static_cast<const char*>(right), rightLength));
}

int InstallOnConnection(sqlite3* database, char**, const sqlite3_api_routines*)
{
    return sqlite3_create_collation_v2(database, "NOCASE", SQLITE_UTF8, nullptr,
                                       &CompareWithoutCase, nullptr);
}

} // namespace

int CompareUtf8WithoutCase(QByteArrayView left, QByteArrayView right)
{
    const qsizetype common = std::min(left.size(), right.size());
    for (qsizetype i = 0; i < common; ++i) {
        const char a = left[i];
        const char b = right[i];
        // A byte above 0x7F starts or continues a character beyond ASCII: its case, and
        // what it folds to, is Unicode's to say (the Kelvin sign folds to "k").
        if ((a | b) & 0x80)
            return CompareUnicodeRest(left.sliced(i), right.sliced(i), i == 0);
        if (a != b) {
            const char foldedA = FoldAscii(a);
            const char foldedB = FoldAscii(b);
            if (foldedA != foldedB)
                return foldedA < foldedB ? -1 : 1;
        }
    }
    // One text is the other's start. No character folds to nothing, so the shorter one
    // comes first, unless the other is empty and starts with the byte order mark, which
    // decodes to nothing there.
    if (common == 0 && (left.startsWith("\xEF\xBB\xBF") || right.startsWith("\xEF\xBB\xBF")))
        return CompareUnicodeRest(left, right, true);
    return Sign(left.size() - right.size());
}

void RegisterUnicodeNoCase()
{
    // SQLite's entry-point type is a bare function pointer; the library calls it with
    // the three arguments above.
    sqlite3_auto_extension(reinterpret_cast<void (*)()>(&InstallOnConnection));
}
