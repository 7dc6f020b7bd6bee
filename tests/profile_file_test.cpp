#include "base/CodePage.h"
#include "base/Error.h"
#include "data/ProfileFile.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <functional>
#include <gtest/gtest.h>

namespace {

class ProfileFileTest : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    QString Path() const { return Dir.filePath(QStringLiteral("Zovrant.ini")); }
};

TEST_F(ProfileFileTest, ReadsValuesAsTheWindowsProfileFunctionsDo)
{
    WriteWholeFile(Path(), ToCp1251(QStringLiteral(
        "; Comment=not a key\r\n"
        "Stray=before any section\r\n"
        "[ quik ]\r\n"
        "  PathTri  =  C:\\Торги\\Trans.tri \t\r\n"
        "Quoted=\"in quotes\"\r\n"
        "Formula=a=b\r\n"
        "Empty=\r\n"
        "Dup=first\r\n"
        "dup=second\r\n"
        "NoEquals\r\n"
        "[Mail]\n"
        "User=only LF line ends\n"
        "Last=no line end")));
    const TProfileFile file(Path());

    struct Case { QString section; QString key; std::optional<QString> expected; };
    const Case cases[] = {
        {"Quik", "pathTRI", QStringLiteral("C:\\Торги\\Trans.tri")},
        {"Quik", "Quoted", QStringLiteral("\"in quotes\"")},
        {"Quik", "Formula", QStringLiteral("a=b")},
        {"Quik", "Empty", QString()},
        {"Quik", "DUP", QStringLiteral("first")},
        {"Quik", "NoEquals", std::nullopt},
        {"Quik", "User", std::nullopt},
        {"Mail", "user", QStringLiteral("only LF line ends")},
        {"Mail", "Last", QStringLiteral("no line end")},
        {"Mail", "Stray", std::nullopt},
        {"Position", "Stray", std::nullopt},
        {"", "; Comment", std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<QString> value = file.Value(c.section, c.key);
        EXPECT_EQ(value.has_value(), c.expected.has_value()) << c.section.toStdString() << '/'
                                                             << c.key.toStdString();
        if (value && c.expected) {
            EXPECT_EQ(*value, *c.expected) << c.key.toStdString();
        }
    }
    EXPECT_TRUE(file.Value(QStringLiteral("Quik"), QStringLiteral("Empty")).has_value());
    EXPECT_EQ(file.ReadString(QStringLiteral("Quik"), QStringLiteral("Missing"),
                              QStringLiteral("default")),
              QStringLiteral("default"));
}

TEST_F(ProfileFileTest, WritingReplacesInPlaceAndAppendsAtTheEndOfTheSection)
{
    WriteWholeFile(Path(),
                   "; settings by hand\n"
                   "[Position]\n"
                   "pathX=1\n"
                   "PositionSize = 7\r\n"
                   "\n"
                   "[Unknown]\n"
                   "Foo = bar ; kept as it is\n"
                   "\n"
                   "[quik]\n"
                   "pathtri=old");
    TProfileFile file(Path());
    file.WriteString(QStringLiteral("Position"), QStringLiteral("PositionSize"), QStringLiteral("4"));
    file.WriteString(QStringLiteral("Position"), QStringLiteral("FixVol"), QStringLiteral("30000"));
    file.WriteString(QStringLiteral("Quik"), QStringLiteral("pathTRI"), QStringLiteral("C:\\Торги"));
    file.WriteString(QStringLiteral("Quik"), QStringLiteral("intTable"), QStringLiteral("1"));
    file.WriteString(QStringLiteral("Mail"), QStringLiteral("SMTP"), QStringLiteral("smtp.example"));
    file.WriteString(QStringLiteral("Mail"), QStringLiteral("Port"), QStringLiteral("25"));
    file.Save();

    const QByteArray expected = "; settings by hand\r\n"
                                "[Position]\r\n"
                                "pathX=1\r\n"
                                "PositionSize=4\r\n"
                                "FixVol=30000\r\n"
                                "\r\n"
                                "[Unknown]\r\n"
                                "Foo = bar ; kept as it is\r\n"
                                "\r\n"
                                "[quik]\r\n"
                                "pathtri=C:\\\xD2\xEE\xF0\xE3\xE8\r\n"
                                "intTable=1\r\n"
                                "[Mail]\r\n"
                                "SMTP=smtp.example\r\n"
                                "Port=25\r\n";
    EXPECT_EQ(ReadWholeFile(Path()), expected);
    EXPECT_EQ(file.Bytes(), expected);
    // Written through a temporary file and a rename: nothing else is left in the folder.
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("Zovrant.ini")});
}

TEST_F(ProfileFileTest, ValueThatOneLineOfWindows1251CannotCarryIsRefused)
{
    WriteWholeFile(Path(), "[Quik]\r\nCode=111\r\n");
    TProfileFile file(Path());
    const QString values[] = {QStringLiteral("111\r\n[Mail]\r\nUser=x"), QStringLiteral("a\nb"),
                              QStringLiteral("a") + QChar(0) + QStringLiteral("b"),
                              QStringLiteral("счёт 中")};
    for (const QString& value : values) {
        try {
            file.WriteString(QStringLiteral("Quik"), QStringLiteral("Code"), value);
            ADD_FAILURE() << "accepted " << value.toStdString();
        } catch (const TError& error) {
            EXPECT_TRUE(error.Text().contains(QStringLiteral("Code"))) << error.what();
            EXPECT_TRUE(error.Text().contains(QDir::toNativeSeparators(Path()))) << error.what();
        }
    }
    EXPECT_EQ(file.Bytes(), QByteArray("[Quik]\r\nCode=111\r\n"));
}

TEST_F(ProfileFileTest, EncodingIsUtf8OnlyForUtf8BytesBeyondAscii)
{
    using E = TProfileFile::TEncoding;
    struct Case { const char* name; QByteArray bytes; E encoding; QString code; };
    const Case cases[] = {
        {"UTF-8", QStringLiteral("[Quik]\r\nCode=Клиент\r\n").toUtf8(), E::Utf8, QStringLiteral("Клиент")},
        {"UTF-8 mark", "\xEF\xBB\xBF[Quik]\r\nCode=111\r\n", E::Utf8, QStringLiteral("111")},
        {"Windows-1251", ToCp1251(QStringLiteral("[Quik]\r\nCode=Клиент\r\n")), E::Windows1251,
         QStringLiteral("Клиент")},
        // "Вё" in Windows-1251 happens to be a UTF-8 character; a longer word is not.
        {"Windows-1251 almost UTF-8", ToCp1251(QStringLiteral("[Quik]\r\nCode=Вёдра\r\n")), E::Windows1251,
         QStringLiteral("Вёдра")},
        {"ASCII", "[Quik]\r\nCode=111\r\n", E::Windows1251, QStringLiteral("111")},
        {"UTF-8 cut in the middle of a letter", "[Quik]\r\nCode=\xD0\r\n", E::Windows1251,
         FromCp1251("\xD0")},
    };
    for (const Case& c : cases) {
        WriteWholeFile(Path(), c.bytes);
        const TProfileFile file(Path());
        EXPECT_EQ(file.Encoding(), c.encoding) << c.name;
        EXPECT_EQ(file.Value(QStringLiteral("quik"), QStringLiteral("code")), c.code) << c.name;
        EXPECT_EQ(file.Bytes(), c.bytes) << c.name;
    }
    EXPECT_EQ(TProfileFile(Dir.filePath(QStringLiteral("new.ini"))).Encoding(), E::Windows1251);
}

TEST_F(ProfileFileTest, SaveWritesInTheEncodingReadKeepingEveryOtherByte)
{
    const QString text = QStringLiteral("; заметки оператора\r\n"
                                        "[Настройки терминала]\r\n"
                                        "Папка=/home/трейдер/QUIK\r\n"
                                        "\r\n"
                                        "[quik]\r\n"
                                        "pathTRI=/home/трейдер/old.tri\r\n"
                                        "Ключ = значение ; с пробелами\r\n");
    struct Case { const char* name; QByteArray prefix; std::function<QByteArray(const QString&)> encode; };
    const Case cases[] = {
        {"UTF-8", {}, [](const QString& t) { return t.toUtf8(); }},
        {"UTF-8 mark", "\xEF\xBB\xBF", [](const QString& t) { return t.toUtf8(); }},
        {"Windows-1251", {}, [](const QString& t) { return ToCp1251(t); }},
    };
    for (const Case& c : cases) {
        WriteWholeFile(Path(), c.prefix + c.encode(text));
        TProfileFile file(Path());
        EXPECT_EQ(file.Value(QStringLiteral("Настройки терминала"), QStringLiteral("папка")),
                  QStringLiteral("/home/трейдер/QUIK")) << c.name;
        file.WriteString(QStringLiteral("Quik"), QStringLiteral("pathTRI"), QStringLiteral("/home/трейдер/Торги.tri"));
        file.WriteString(QStringLiteral("Quik"), QStringLiteral("Code"), QStringLiteral("К-1"));
        file.WriteString(QStringLiteral("Почта"), QStringLiteral("Кому"), QStringLiteral("Пётр"));
        file.Save();
        QString expected = text;
        expected.replace(QStringLiteral("pathTRI=/home/трейдер/old.tri"), QStringLiteral("pathTRI=/home/трейдер/Торги.tri"));
        expected += QStringLiteral("Code=К-1\r\n[Почта]\r\nКому=Пётр\r\n");
        EXPECT_EQ(ReadWholeFile(Path()), c.prefix + c.encode(expected)) << c.name;
    }
}

TEST_F(ProfileFileTest, NewFileIsWindows1251)
{
    TProfileFile file(Path());
    file.WriteString(QStringLiteral("Quik"), QStringLiteral("pathTRI"), QStringLiteral("D:\\Торги"));
    file.Save();
    EXPECT_EQ(ReadWholeFile(Path()), QByteArray("[Quik]\r\npathTRI=D:\\\xD2\xEE\xF0\xE3\xE8\r\n"));
}

// Some Windows-1251 texts are UTF-8 bytes as well: written as they are, the next reading
// would take them for UTF-8 and read other characters (and a character no Windows-1251
// file can hold, which the next save refuses).
TEST_F(ProfileFileTest, TextWhoseWindows1251BytesReadAsUtf8ComesBackTheSame)
{
    for (const QString& value : {QStringLiteral("D:\\РёР·"), QStringLiteral("/п»ї/d")}) {
        SCOPED_TRACE(value.toStdString());
        QFile::remove(Path());
        {
            TProfileFile file(Path());
            file.WriteString(QStringLiteral("Quik"), QStringLiteral("pathTRI"), value);
            file.Save();
        }
        TProfileFile again(Path());
        EXPECT_EQ(again.ReadString(QStringLiteral("Quik"), QStringLiteral("pathTRI"), QString()), value);
        again.Save();
        EXPECT_EQ(TProfileFile(Path()).ReadString(QStringLiteral("Quik"), QStringLiteral("pathTRI"), QString()), value);
    }
}

TEST_F(ProfileFileTest, FileThatCannotBeReadOrWrittenRaisesAnErrorNamingIt)
{
    // A folder where the file should be cannot be read.
    ASSERT_TRUE(QDir(Dir.path()).mkdir(QStringLiteral("Zovrant.ini")));
    EXPECT_THROW(TProfileFile{Path()}, TError);

    const QString missingFolderFile = Dir.filePath(QStringLiteral("no such folder/Zovrant.ini"));
    TProfileFile file(missingFolderFile);
    EXPECT_FALSE(file.Value(QStringLiteral("Quik"), QStringLiteral("Code")).has_value());
    file.WriteString(QStringLiteral("Quik"), QStringLiteral("Code"), QStringLiteral("111"));
    try {
        file.Save();
        ADD_FAILURE() << "saved into a missing folder";
    } catch (const TError& error) {
        EXPECT_TRUE(error.Text().contains(QDir::toNativeSeparators(missingFolderFile)))
            << error.what();
    }
}

} // namespace
