#include "base/CodePage.h"

#include <QStringEncoder>
#include <gtest/gtest.h>

namespace {

QByteArray ByConverter(const QString& text)
{
    QStringEncoder encoder("windows-1251");
    return encoder.encode(text);
}

TEST(CodePageTest, EveryCharacterEncodesAsTheConverterDoes)
{
    // ASCII and А..я are encoded without the converter; every other character is left to
    // it. Each character of the basic plane, alone and after encoded letters, must give
    // the converter's bytes.
    for (int code = 0; code <= 0xFFFF; ++code) {
        const QString alone{QChar(char16_t(code))};
        ASSERT_EQ(ToCp1251(alone), ByConverter(alone)) << code;
        const QString after = QStringLiteral("Ab Яя;") + alone;
        ASSERT_EQ(ToCp1251(after), ByConverter(after)) << code;
    }
}

TEST(CodePageTest, TextsOfLogAndTransactionLines)
{
    const QString texts[] = {
        QString(),
        QStringLiteral(""),
        QStringLiteral("TRANS_ID =0;ACTION=NEW_ORDER;ACCOUNT=ACC1;SECCODE=SBER;PRICE=250.75;QUANTITY=1"),
        QStringLiteral("09.12.2008 9:05:03 Транзакция номер 7 [B 3 ABCD at 100.00]  по счету C1 отправлена в Quik."),
        QStringLiteral("Ёлка ёж № 5 «кавычки» — тире"),
        QStringLiteral("surrogates \U0001F600 and a lone ") + QChar(char16_t(0xD800)) + QStringLiteral(" one"),
        QStringLiteral("euro € and ¤"),
    };
    for (const QString& text : texts) {
        EXPECT_EQ(ToCp1251(text), ByConverter(text)) << text.toStdString();
        EXPECT_EQ(FromCp1251(ToCp1251(text)), FromCp1251(ByConverter(text)));
    }
    EXPECT_EQ(ToCp1251(QStringLiteral("Аяё")), QByteArray("\xC0\xFF\xB8"));

    // Appending gives what appending the encoded text gives, after any bytes already there.
    QByteArray appended("start;");
    QByteArray expected = appended;
    for (const QString& text : texts) {
        AppendCp1251(appended, text);
        expected += ByConverter(text);
        EXPECT_EQ(appended, expected) << text.toStdString();
    }
}

} // namespace
