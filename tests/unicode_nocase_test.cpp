#include "data/UnicodeNoCase.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <gtest/gtest.h>

namespace {

int Sign(int value)
{
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

// The comparison the bridge and alert files were ordered and matched by before: both texts
// decoded and compared as Qt compares strings without case. Indexes and sorts made with it
// must keep their order.
int ByDecodedStrings(const QByteArray& left, const QByteArray& right)
{
    return Sign(QString::compare(QString::fromUtf8(left), QString::fromUtf8(right), Qt::CaseInsensitive));
}

QByteArray Utf8(const char* text)
{
    return QByteArray(text);
}

struct TCase {
    const char* Left;
    const char* Right;
    int Expected; // the sign: left before (-1), equal to (0) or after (1) right
};

TEST(UnicodeNoCaseTest, TableOfComparisons)
{
    const TCase cases[] = {
        {"", "", 0},
        {"", "a", -1},
        {"SBER", "sber", 0},
        {"Sber", "sbeR", 0},
        {"C10", "c9", -1},
        {"abc", "ABD", -1},
        {"abc", "ABCD", -1},  // a text before the longer one it starts
        // Letters fold to lower case, as SQLite's NOCASE folds them: "_" and "[" lie
        // between the upper- and the lower-case letters.
        {"a_", "aB", -1},
        {"[", "a", -1},
        {"C:\\Omega\\Demo.wsp", "c:\\omega\\DEMO.WSP", 0},
        // Cyrillic, Ё and ё included.
        {"СБЕРБАНК", "сбербанк", 0},
        {"Ёлка", "ёЛКА", 0},
        {"Ё", "ё", 0},
        {"ЁЖ", "ЕЖ", 1},     // ё is a letter of its own, after е
        {"Ёж", "Яблоко", 1}, // and after я, where it is in Unicode
        {"Тренд", "банк", 1},
        {"ТРЕНД", "тренд(5,10)", -1},
        // Latin and Cyrillic in one text, the first difference before, at and after the
        // first letter beyond ASCII.
        {"SBER Сбербанк", "sber СБЕРБАНК", 0},
        {"C:\\Omega\\ДЕМО.wsp", "c:\\omega\\демо.WSP", 0},
        {"abЖ", "ABc", 1},
        {"abcЖ", "abd", -1},
        {"abc", "abcЖ", -1},
        {"Жa", "жB", -1},
        // Characters beyond ASCII that fold to ASCII letters, and what is not a character.
        {"\u212A", "k", 0}, // the Kelvin sign
        {"\xEF\xBB\xBF" "a", "a", 0}, // a byte order mark that starts a text is no character
        {"a\xEF\xBB\xBF", "A", 1},     // elsewhere it is one
        {"\xEF\xBB\xBF", "", 0},
        {"\xFF", "\xFE", 0},          // both malformed: each is U+FFFD
        {"a\xFF", "A\xC3\xBF", 1},    // U+FFFD after ÿ
    };
    for (const TCase& c : cases) {
        const QByteArray left = Utf8(c.Left);
        const QByteArray right = Utf8(c.Right);
        EXPECT_EQ(CompareUtf8WithoutCase(left, right), c.Expected) << c.Left << " | " << c.Right;
        EXPECT_EQ(CompareUtf8WithoutCase(right, left), -c.Expected) << c.Right << " | " << c.Left;
        EXPECT_EQ(ByDecodedStrings(left, right), c.Expected) << c.Left << " | " << c.Right;
    }
}

// Every pair of a mixed set of texts orders as it did: an index or a sort made before
// stays in order.
TEST(UnicodeNoCaseTest, OrdersEveryPairAsBefore)
{
    QList<QByteArray> texts = {"", "a", "A", "ab", "AB", "aB_", "a[", "a@", "Z", "z", "~", "0", "09", "C1", "c10",
                               "Ё", "ё", "Е", "е", "Я", "я", "Ж", "ж", "Жук", "ЖУКИ", "ёлка", "ЁЛКИ", "Елка",
                               "sber", "SBER-Сбер", "sber-сбер", "sberж", "Ω", "ω", "Σ", "ς", "σ", "ß", "SS",
                               "\u212A", "k", "K", "\uFF21", "\uFF41", "\U0001F600", "\U0001D400", "\xEF\xBB\xBF",
                               "\xFF", "\xC3", "a\xE2\x82", "\xD0\x81\xD0"};
    // Long texts decode beyond the buffers on the stack.
    texts << QByteArray(600, 'a') + "Ж" << QByteArray(600, 'A') + "ж" << QByteArray(300, 'a') + QByteArray("Я").repeated(200);
    for (const QByteArray& left : texts) {
        for (const QByteArray& right : texts)
            EXPECT_EQ(CompareUtf8WithoutCase(left, right), ByDecodedStrings(left, right))
                << left.toHex().toStdString() << " | " << right.toHex().toStdString();
    }
}

} // namespace
