#include "base/CodePage.h"
#include "base/Error.h"
#include "base/OperationLog.h"
#include "data/Settings.h"
#include "shell/MainCore.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

#define ZOVRANT_EVERY_SETTING(X)                                                              \
    X(rgpPositionSize) X(edtFixVol) X(edtPart) X(rgpFilled) X(edtTime1) X(edtTime2)           \
    X(chExitQty) X(rgpSingleMulti) X(edtTRI) X(edtTRO) X(edtInfoLog) X(edtAccountMicex)       \
    X(edtAccountFORTS) X(edtIntTable) X(edtQuikConnectTimeOut) X(edtCode) X(edtAlerts)       \
    X(edtQuikData) X(chConnect) X(chQuikConnect) X(edtSMTP) X(edtPort) X(edtUser)             \
    X(edtPassword) X(chAuten) X(edtFromName) X(edtFromAddress) X(edtEmail1) X(edtEmail2)      \
    X(chSendTrans_Id) X(chSendTrans_done) X(chSendQuikConnect) X(DuplicateMs)                \
    X(MaxLinesPerOrder) X(TxPerSecond) X(TxBurst) X(MaxMB) X(KeepDays)

void ExpectSameSettings(const TSettings& actual, const TSettings& expected)
{
#define ZOVRANT_EXPECT_SAME(field) EXPECT_EQ(actual.field, expected.field) << #field;
    ZOVRANT_EVERY_SETTING(ZOVRANT_EXPECT_SAME)
#undef ZOVRANT_EXPECT_SAME
}

// Every field away from its default, with Cyrillic where the file must carry it.
void SetEveryFieldAway(TSettings& s)
{
    s.rgpPositionSize = 3;
    s.edtFixVol = QStringLiteral("45000,5");
    s.edtPart = QStringLiteral("12,5");
    s.rgpFilled = 0;
    s.edtTime1 = QStringLiteral("09:45:00");
    s.edtTime2 = QStringLiteral("18:40:00");
    s.chExitQty = false;
    s.rgpSingleMulti = 1;
    s.edtTRI = QStringLiteral("D:\\Торги\\QUIK\\Trans.tri");
    s.edtTRO = QStringLiteral("D:\\Торги\\QUIK\\Trans.tro");
    s.edtInfoLog = QStringLiteral("D:\\Торги\\QUIK\\info.log");
    s.edtAccountMicex = QStringLiteral("L01-00000F01");
    s.edtAccountFORTS = QStringLiteral("SPBFUT00X");
    s.edtIntTable = QStringLiteral("3");
    s.edtQuikConnectTimeOut = QStringLiteral("45");
    s.edtCode = QStringLiteral("К-222");
    s.edtAlerts = QStringLiteral("E:\\Omega\\Alerts.mdb");
    s.edtQuikData = QStringLiteral("E:\\Мост\\dbQuikData.mdb");
    s.chConnect = true;
    s.chQuikConnect = true;
    s.edtSMTP = QStringLiteral("smtp.example.org");
    s.edtPort = QStringLiteral("587");
    s.edtUser = QStringLiteral("Трейдер");
    s.edtPassword = QStringLiteral("Пароль я = \"1\"~");
    s.chAuten = true;
    s.edtFromName = QStringLiteral("Робот");
    s.edtFromAddress = QStringLiteral("robot@example.org");
    s.edtEmail1 = QStringLiteral("desk@example.org");
    s.edtEmail2 = QStringLiteral("79990000000@sms.example.org");
    s.chSendTrans_Id = true;
    s.chSendTrans_done = true;
    s.chSendQuikConnect = true;
    s.DuplicateMs = 1500;
    s.MaxLinesPerOrder = 40;
    s.TxPerSecond = 20;
    s.TxBurst = 5;
    s.MaxMB = 250;
    s.KeepDays = 30;
}

class SettingsTest : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    TSettings Settings;
    // The timer periods as the owner of the timers sets them after a load.
    int TablePeriod = 5000;
    int InfoPeriod = 7000;

    void SetUp() override
    {
        Settings.ProgramFolder = Dir.path() + QLatin1Char('/');
    }
    QString IniPath() const { return Dir.filePath(QStringLiteral("Zovrant.ini")); }
    void WriteIni(const QString& text) const { WriteWholeFile(IniPath(), ToCp1251(text)); }
    QString IniText() const { return FromCp1251(ReadWholeFile(IniPath())); }
    TSettings Fresh() const
    {
        TSettings settings;
        settings.ProgramFolder = Settings.ProgramFolder;
        return settings;
    }
    // The load as the program runs it: the fields, then the table timer's period, then
    // the link check's.
    void Load()
    {
        Settings.LoadSettings();
        TablePeriod = Settings.UpdateTablePeriod();
        InfoPeriod = Settings.InfoLogPeriod();
    }
    QString LoadError()
    {
        try {
            Load();
        } catch (const TError& error) {
            return error.Text();
        }
        return QStringLiteral("(loaded)");
    }
    // The defaults of a missing file: without Windows the terminal's files lie in a folder
    // QUIK beside the program.
    TSettings PlatformDefaults() const
    {
        TSettings defaults;
#ifndef Q_OS_WIN
        defaults.edtTRI = Dir.filePath(QStringLiteral("QUIK/Trans/Trans.tri"));
        defaults.edtTRO = Dir.filePath(QStringLiteral("QUIK/Trans/Trans.tro"));
        defaults.edtInfoLog = Dir.filePath(QStringLiteral("QUIK/info.log"));
#endif
        return defaults;
    }
    // The text of a setting that does not convert.
    QString Named(const QString& section, const QString& key, const QString& value,
                  const QString& problem) const
    {
        return QStringLiteral("Файл настроек %1, раздел [%2], ключ %3: значение \"%4\" %5")
            .arg(QDir::toNativeSeparators(IniPath()), section, key, value, problem);
    }
    const QString kNotTime = QStringLiteral("не является временем (ЧЧ:ММ:СС)");
    const QString kWatchRefused = QStringLiteral(
        "\nЗагрузка ордеров не включается, пока время торговой сессии не исправлено в настройках.");
    const QString kNotInteger = QStringLiteral("не является целым числом");
    const QString kOutOfRange = QStringLiteral("вне допустимых пределов периода таймера (от 0 до 2147483 сек.)");

    QString SaveError() const
    {
        try {
            Settings.SaveSettings();
        } catch (const TError& error) {
            return error.Text();
        }
        return QStringLiteral("(saved)");
    }
};

TEST_F(SettingsTest, FileWrittenFromScratchHoldsEveryKeyInTableOrder)
{
    Settings.edtPassword = QStringLiteral("abc");
    Settings.SaveSettings();
    EXPECT_EQ(IniText(), QStringLiteral(
        "[Position]\r\n"
        "PositionSize=0\r\n"
        "FixVol=30000\r\n"
        "Part=20\r\n"
        "rgpFilled=1\r\n"
        "time1=10:30:00\r\n"
        "time2=17:45:00\r\n"
        "ExitQty=-1\r\n"
        "rgpSingleMulti=0\r\n"
        "[Quik]\r\n"
        "pathTRI=C:\\Program Files\\QUIK\\Trans\\Trans.tri\r\n"
        "pathTRO=C:\\Program Files\\QUIK\\Trans\\Trans.tro\r\n"
        "pathInfoLog=C:\\Program Files\\QUIK\\info.log\r\n"
        "AccountMicex=\r\n"
        "AccountFORTS=\r\n"
        "intTable=1\r\n"
        "QuikConnectTimeOut=60\r\n"
        "Code=\r\n"
        "Alerts=C:\\Program Files\\Omega Research\\MyWork\\Alerts11.mdb\r\n"
        "QuikData=C:\\Zovrant\\Data\\dbQuikData.mdb\r\n"
        "Connect=0\r\n"
        "QuikConnect=0\r\n"
        "[Mail]\r\n"
        "SMTP=smtp.example.com\r\n"
        "Port=25\r\n"
        "User=User\r\n"
        "Password=cde\r\n"
        "Auten=0\r\n"
        "FromName=User\r\n"
        "FromAddress=user@example.com\r\n"
        "Email1=user@example.com\r\n"
        "Email2=70000000000@sms.example.com\r\n"
        "SendTrans_id=0\r\n"
        "SendTrans_done=0\r\n"
        "SendQuikConnect=0\r\n"
        "[Risk]\r\n"
        "DuplicateMs=0\r\n"
        "MaxLinesPerOrder=0\r\n"
        "TxPerSecond=0\r\n"
        "TxBurst=0\r\n"
        "[Log]\r\n"
        "MaxMB=100\r\n"
        "KeepDays=0\r\n"));
}

TEST_F(SettingsTest, EveryKeyRoundTripsThroughTheFile)
{
    SetEveryFieldAway(Settings);
    const TSettings defaults;
#define ZOVRANT_EXPECT_AWAY(field) EXPECT_NE(Settings.field, defaults.field) << #field;
    ZOVRANT_EVERY_SETTING(ZOVRANT_EXPECT_AWAY)
#undef ZOVRANT_EXPECT_AWAY

    Settings.SaveSettings();
    TSettings loaded = Fresh();
    loaded.LoadSettings();
    SetEveryFieldAway(Settings); // the expected values, untouched by the save
    ExpectSameSettings(loaded, Settings);

    // The file is Windows-1251: one byte per Cyrillic letter, no UTF-8.
    const QByteArray bytes = ReadWholeFile(IniPath());
    EXPECT_TRUE(bytes.contains("pathTRI=D:\\\xD2\xEE\xF0\xE3\xE8\\QUIK\\Trans.tri\r\n"));
    EXPECT_FALSE(bytes.contains(QStringLiteral("Торги").toUtf8()));
}

TEST_F(SettingsTest, NoFileGivesTheDefaultsAndWritesNothing)
{
    SetEveryFieldAway(Settings);
    Load();
    ExpectSameSettings(Settings, PlatformDefaults());
    EXPECT_EQ(Settings.rgpFilled, 1);
    EXPECT_EQ(TablePeriod, 1000);
    EXPECT_EQ(InfoPeriod, 60000);
    EXPECT_TRUE(QDir(Dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

TEST_F(SettingsTest, SavingKeepsUnknownKeysAndSectionsAndReplacesKeysInPlace)
{
    WriteIni(QStringLiteral(
        "; written by hand\r\n"
        "[position]\r\n"
        "rgpfilled=0\r\n"
        "Comment=unknown key\r\n"
        "\r\n"
        "[Terminal]\r\n"
        "Name=QUIK 5\r\n"
        "\r\n"
        "[QUIK]\r\n"
        "pathtri = D:\\Торги\\trans.tri\r\n"
        "Legacy=1\r\n"));
    Settings.LoadSettings();
    EXPECT_EQ(Settings.rgpFilled, 0);
    EXPECT_EQ(Settings.edtTRI, QStringLiteral("D:\\Торги\\trans.tri"));
    EXPECT_EQ(Settings.edtTRO, PlatformDefaults().edtTRO);

    Settings.edtTRI = QStringLiteral("E:\\QUIK\\Trans.tri");
    Settings.SaveSettings();
    const QStringList lines = IniText().split(QStringLiteral("\r\n"));
    ASSERT_GE(lines.size(), 12);
    EXPECT_EQ(lines[0], QStringLiteral("; written by hand"));
    EXPECT_EQ(lines[1], QStringLiteral("[position]"));
    EXPECT_EQ(lines[2], QStringLiteral("rgpfilled=0"));
    EXPECT_EQ(lines[3], QStringLiteral("Comment=unknown key"));
    EXPECT_EQ(lines[4], QStringLiteral("PositionSize=0")); // new keys after the last line
    const qsizetype terminal = lines.indexOf(QStringLiteral("[Terminal]"));
    ASSERT_GT(terminal, 0);
    EXPECT_EQ(lines[terminal - 1], QString());
    EXPECT_EQ(lines[terminal + 1], QStringLiteral("Name=QUIK 5"));
    EXPECT_EQ(lines[terminal + 2], QString());
    EXPECT_EQ(lines[terminal + 3], QStringLiteral("[QUIK]"));
    EXPECT_EQ(lines[terminal + 4], QStringLiteral("pathtri=E:\\QUIK\\Trans.tri"));
    EXPECT_EQ(lines[terminal + 5], QStringLiteral("Legacy=1"));
    EXPECT_EQ(lines[terminal + 6], QStringLiteral("pathTRO=") + PlatformDefaults().edtTRO);
    EXPECT_EQ(lines.indexOf(QStringLiteral("[Mail]")), terminal + 17);
    EXPECT_EQ(lines.filter(QStringLiteral("pathtri"), Qt::CaseInsensitive).size(), 1);
}

TEST_F(SettingsTest, ChoiceIndexOutsideItsItemsIsClamped)
{
    struct Case { QString key; QString stored; int TSettings::*field; int loaded; QString saved; };
    const Case cases[] = {
        {"PositionSize", "7", &TSettings::rgpPositionSize, 4, "4"},
        {"PositionSize", "-5", &TSettings::rgpPositionSize, -1, "-1"},
        {"PositionSize", "2", &TSettings::rgpPositionSize, 2, "2"},
        {"rgpFilled", "2", &TSettings::rgpFilled, 1, "1"},
        {"rgpFilled", "-1", &TSettings::rgpFilled, -1, "-1"},
        {"rgpSingleMulti", "+1", &TSettings::rgpSingleMulti, 1, "1"},
    };
    for (const Case& c : cases) {
        WriteIni(QStringLiteral("[Position]\r\n%1=%2\r\n").arg(c.key, c.stored));
        Settings.LoadSettings();
        EXPECT_EQ(Settings.*c.field, c.loaded) << c.key.toStdString() << '=' << c.stored.toStdString();
        Settings.SaveSettings();
        EXPECT_TRUE(IniText().contains(QStringLiteral("\r\n%1=%2\r\n").arg(c.key, c.saved)))
            << c.key.toStdString() << '=' << c.stored.toStdString();
    }
}

TEST_F(SettingsTest, FlagReadsAnyNumberOrTrueFalseAndSavesMinusOneOrZero)
{
    struct Case { QString stored; bool checked; };
    const Case cases[] = {{"1", true},      {"-1", true},     {"True", true}, {"true", true},
                          {"TRUE", true},   {"2", true},      {"0.5", true},  {"0", false},
                          {"False", false}, {"fAlSe", false}, {"-0", false}};
    for (const Case& c : cases) {
        // ExitQty defaults to checked, QuikConnect to unchecked: both must follow the file.
        WriteIni(QStringLiteral("[Position]\r\nExitQty=%1\r\n[Quik]\r\nQuikConnect=%1\r\n")
                     .arg(c.stored));
        Settings.LoadSettings();
        EXPECT_EQ(Settings.chExitQty, c.checked) << c.stored.toStdString();
        EXPECT_EQ(Settings.chQuikConnect, c.checked) << c.stored.toStdString();
        Settings.SaveSettings();
        const QString saved = c.checked ? QStringLiteral("-1") : QStringLiteral("0");
        EXPECT_TRUE(IniText().contains(QStringLiteral("\r\nExitQty=%1\r\n").arg(saved)));
        EXPECT_TRUE(IniText().contains(QStringLiteral("\r\nQuikConnect=%1\r\n").arg(saved)));
    }
}

TEST_F(SettingsTest, ValueThatDoesNotConvertStopsTheLoadThere)
{
    struct Case { QString badLine; QString key; QString value; QString problem; };
    const Case cases[] = {
        {"ExitQty=", "ExitQty", "", "не является логическим значением"},
        {"ExitQty=yes", "ExitQty", "yes", "не является логическим значением"},
        {"rgpSingleMulti=abc", "rgpSingleMulti", "abc", "не является целым числом"},
        {"rgpSingleMulti=", "rgpSingleMulti", "", "не является целым числом"},
        {"rgpSingleMulti=1.0", "rgpSingleMulti", "1.0", "не является целым числом"},
    };
    for (const Case& c : cases) {
        Settings = Fresh();
        Settings.rgpSingleMulti = 1;
        Settings.edtTRI = QStringLiteral("old");
        WriteIni(QStringLiteral("[Position]\r\nPositionSize=2\r\nFixVol=5\r\n%1\r\n"
                                "[Quik]\r\npathTRI=new\r\n")
                     .arg(c.badLine));
        EXPECT_EQ(LoadError(), Named("Position", c.key, c.value, c.problem));
        EXPECT_EQ(Settings.rgpPositionSize, 2) << "read before the bad key";
        EXPECT_EQ(Settings.edtFixVol, QStringLiteral("5")) << "read before the bad key";
        EXPECT_EQ(Settings.edtTRI, QStringLiteral("old")) << "after the bad key";
        EXPECT_EQ(Settings.rgpSingleMulti, 1) << "the bad key or after it";
        EXPECT_EQ(TablePeriod, 5000);
        EXPECT_EQ(InfoPeriod, 7000);
    }
}

TEST_F(SettingsTest, ValueThatDoesNotConvertIsNamedWithItsSectionAndKey)
{
    // The key as the program spells it, whatever the letter case in the file; the value
    // as stored, Cyrillic included.
    struct Case { QString lines; QString section; QString key; QString value; QString problem; };
    const Case cases[] = {
        {"[Position]\r\nPositionSize=abc", "Position", "PositionSize", "abc", "не является целым числом"},
        {"[position]\r\nrgpfilled=один", "Position", "rgpFilled", "один", "не является целым числом"},
        {"[Position]\r\nExitQty=да", "Position", "ExitQty", "да", "не является логическим значением"},
        {"[Quik]\r\nConnect=on", "Quik", "Connect", "on", "не является логическим значением"},
        {"[Quik]\r\nQuikConnect=1e999", "Quik", "QuikConnect", "1e999", "не является логическим значением"},
        {"[Mail]\r\nAuten=Yes", "Mail", "Auten", "Yes", "не является логическим значением"},
        {"[MAIL]\r\nsendtrans_done=-", "Mail", "SendTrans_done", "-", "не является логическим значением"},
        {"[Quik]\r\nintTable=abc", "Quik", "intTable", "abc", "не является целым числом"},
        {"[Quik]\r\nQuikConnectTimeOut=1 0", "Quik", "QuikConnectTimeOut", "1 0", "не является целым числом"},
        {"[Risk]\r\nTxPerSecond=2.5", "Risk", "TxPerSecond", "2.5", "не является целым числом"},
        {"[Risk]\r\nDuplicateMs=-1", "Risk", "DuplicateMs", "-1", "не может быть отрицательным"},
        {"[Quik]\r\nintTable=-3", "Quik", "intTable", "-3",
         "вне допустимых пределов периода таймера (от 0 до 2147483 сек.)"},
    };
    for (const Case& c : cases) {
        Settings = Fresh();
        WriteIni(c.lines + QStringLiteral("\r\n"));
        EXPECT_EQ(LoadError(), Named(c.section, c.key, c.value, c.problem)) << c.lines.toStdString();
    }
}

TEST_F(SettingsTest, PresentEmptyTextIsNotMissing)
{
    WriteIni(QStringLiteral("[Position]\r\nFixVol=\r\n[Mail]\r\nUser=\r\nPassword=\r\n"));
    Settings.edtPassword = QStringLiteral("typed");
    Settings.LoadSettings();
    EXPECT_EQ(Settings.edtFixVol, QString());
    EXPECT_EQ(Settings.edtUser, QString());
    EXPECT_EQ(Settings.edtPassword, QString());
}

TEST_F(SettingsTest, TimerPeriodsComeFromTheLoadedSeconds)
{
    struct Case { QString intTable; QString timeOut; int table; int info; QString error; };
    const Case cases[] = {
        {"2", "30", 2000, 30000, {}},
        {"0", "60", 0, 60000, {}},
        {"2147483", "1", 2147483000, 1000, {}},
        {"abc", "30", 5000, 7000, Named("Quik", "intTable", "abc", kNotInteger)},
        {"1.5", "30", 5000, 7000, Named("Quik", "intTable", "1.5", kNotInteger)},
        {"", "30", 5000, 7000, Named("Quik", "intTable", "", kNotInteger)},
        {"2", "x", 2000, 7000, Named("Quik", "QuikConnectTimeOut", "x", kNotInteger)},
        {"-1", "30", 5000, 7000, Named("Quik", "intTable", "-1", kOutOfRange)},
        {"2", "2147484", 2000, 7000, Named("Quik", "QuikConnectTimeOut", "2147484", kOutOfRange)},
    };
    for (const Case& c : cases) {
        TablePeriod = 5000;
        InfoPeriod = 7000;
        WriteIni(QStringLiteral("[Quik]\r\nintTable=%1\r\nQuikConnectTimeOut=%2\r\n")
                     .arg(c.intTable, c.timeOut));
        const QString error = LoadError();
        EXPECT_EQ(error, c.error.isEmpty() ? QStringLiteral("(loaded)") : c.error)
            << c.intTable.toStdString() << ' ' << c.timeOut.toStdString();
        EXPECT_EQ(TablePeriod, c.table) << c.intTable.toStdString();
        EXPECT_EQ(InfoPeriod, c.info) << c.timeOut.toStdString();
        // The fields hold the text as stored, also when a period does not convert.
        EXPECT_EQ(Settings.edtIntTable, c.intTable);
        EXPECT_EQ(Settings.edtQuikConnectTimeOut, c.timeOut);
    }
}

TEST_F(SettingsTest, PasswordIsStoredShiftedByTwoAndComesBackUnchanged)
{
    const QString passwords[] = {QStringLiteral("abc XYZ 09 ~!"), QStringLiteral("Пароль-я"),
                                 QString()};
    for (const QString& password : passwords) {
        Settings.edtPassword = password;
        Settings.SaveSettings();
        QByteArray expected = ToCp1251(password);
        for (char& code : expected)
            code = static_cast<char>((static_cast<unsigned char>(code) + 2) & 0xFF);
        EXPECT_TRUE(ReadWholeFile(IniPath()).contains("\r\nPassword=" + expected + "\r\n"))
            << password.toStdString();
        TSettings loaded = Fresh();
        loaded.LoadSettings();
        EXPECT_EQ(loaded.edtPassword, password);
    }
}

TEST_F(SettingsTest, PasswordTheFileCannotCarryIsRefusedAndTheFileIsUnchanged)
{
    struct Case { QString password; QString named; };
    const Case cases[] = {
        {QStringLiteral("мою"), QStringLiteral("«ю»")},           // code 254 would become 0
        {QStringLiteral("key中"), QStringLiteral("«中»")},        // not in Windows-1251
        {QStringLiteral("a\tb"), QStringLiteral("символ с кодом 9")},
    };
    WriteIni(QStringLiteral("[Mail]\r\nPassword=cde\r\nUnknown=kept\r\n"));
    const QByteArray before = ReadWholeFile(IniPath());
    for (const Case& c : cases) {
        Settings.edtPassword = c.password;
        Settings.edtUser = QStringLiteral("changed");
        const QString error = SaveError();
        EXPECT_TRUE(error.startsWith(QStringLiteral("Настройки не сохранены: пароль"))) << error.toStdString();
        EXPECT_TRUE(error.contains(c.named)) << error.toStdString();
        EXPECT_EQ(ReadWholeFile(IniPath()), before);
    }
}

TEST_F(SettingsTest, TextTheFileCannotCarryIsRefusedAndTheFileIsUnchanged)
{
    WriteIni(QStringLiteral("[Quik]\r\nCode=111\r\n"));
    const QByteArray before = ReadWholeFile(IniPath());
    Settings.edtFixVol = QStringLiteral("1");
    Settings.edtTRI = QStringLiteral("C:\\交易\\Trans.tri");
    QString error = SaveError();
    EXPECT_TRUE(error.contains(QStringLiteral("pathTRI"))) << error.toStdString();
    EXPECT_TRUE(error.contains(QDir::toNativeSeparators(IniPath()))) << error.toStdString();
    EXPECT_EQ(ReadWholeFile(IniPath()), before);

    Settings.edtTRI = TSettings().edtTRI;
    Settings.edtFromName = QStringLiteral("Robot\r\n[Quik]\r\npathTRI=X:\\other.tri");
    error = SaveError();
    EXPECT_TRUE(error.contains(QStringLiteral("FromName"))) << error.toStdString();
    EXPECT_EQ(ReadWholeFile(IniPath()), before);
}

TEST_F(SettingsTest, FileThatCannotBeWrittenGivesAnErrorNamingIt)
{
    Settings.ProgramFolder = Dir.filePath(QStringLiteral("missing")) + QLatin1Char('/');
    const QString error = SaveError();
    EXPECT_TRUE(error.contains(QDir::toNativeSeparators(Settings.FileName()))) << error.toStdString();
}

TEST_F(SettingsTest, SessionTimeThatIsNoTimeIsNamedAfterTheLoad)
{
    struct Case { QString time1; QString time2; QStringList named; };
    const Case cases[] = {
        {"10:30:00", "17:45:00", {}},
        {"9:45:00", "9:50:00", {}},
        {"00:00", "23:59:59", {Named("Position", "time1", "00:00", kNotTime)}},
        {"10:30:00", "25:00:00", {Named("Position", "time2", "25:00:00", kNotTime)}},
        {"", "1O:00:00", {Named("Position", "time1", "", kNotTime), Named("Position", "time2", "1O:00:00", kNotTime)}},
        {"__:__:__", "17:45:00", {Named("Position", "time1", "__:__:__", kNotTime)}},
    };
    for (const Case& c : cases) {
        Settings = Fresh();
        WriteIni(QStringLiteral("[Position]\r\ntime1=%1\r\ntime2=%2\r\n[Quik]\r\npathTRI=D:\\Торги\\Trans.tri\r\n")
                     .arg(c.time1, c.time2));
        // The load itself takes every key, the times as stored: the check says what is wrong.
        EXPECT_EQ(LoadError(), QStringLiteral("(loaded)"));
        EXPECT_EQ(Settings.edtTime1, c.time1);
        EXPECT_EQ(Settings.edtTRI, QStringLiteral("D:\\Торги\\Trans.tri"));
        QString error = QStringLiteral("(times fine)");
        try {
            Settings.CheckSessionTimes();
        } catch (const TError& e) {
            error = e.Text();
        }
        if (c.named.isEmpty()) {
            EXPECT_EQ(error, QStringLiteral("(times fine)")) << c.time1.toStdString();
        } else {
            EXPECT_EQ(error, c.named.join(QLatin1Char('\n')) + kWatchRefused) << c.time1.toStdString();
        }
    }
}

// The program's own owner of the settings over a settings file with a bad session time:
// said once when the settings load, in the error box and the log, and watching refuses
// to start, so that no order is read only to fail the session filter.
TEST_F(SettingsTest, BadSessionTimeIsReportedAtStartAndWatchingDoesNotStart)
{
    TTestEnvironment env;
    TOperationLog log(env.Environment);
    log.OpenFile(Dir.filePath(QStringLiteral("Zovrant.log")));
    WriteIni(QStringLiteral("[Position]\r\ntime1=00:00\r\n[Quik]\r\nQuikConnectTimeOut=0\r\nCode=C1\r\n"
                            "AccountMicex=ACC-C1\r\n"));
    ASSERT_TRUE(QDir(Dir.path()).mkpath(QStringLiteral("QUIK/Trans"))); // the import file's folder
    TMainCore core(env.Environment, log, Settings.ProgramFolder);
    const QString named = Named("Position", "time1", "00:00", kNotTime) + kWatchRefused;
    EXPECT_EQ(env.Errors, QStringList{named});
    EXPECT_TRUE(LogLinesOf(log).join(QLatin1Char('\n')).contains(Named("Position", "time1", "00:00", kNotTime)));
    // The rest of the load went on: the link timer took its period from the file.
    EXPECT_EQ(core.timInfoLog().Period(), 0);

    core.RunGuarded([&core] { core.Watch().actStartWatchExecute(); });
    EXPECT_FALSE(core.Watch().Watching());
    EXPECT_EQ(env.Errors, (QStringList{named, Named("Position", "time1", "00:00", kNotTime)
                                                  + QStringLiteral("\nЗагрузка ордеров не включается, пока настройки "
                                                                   "не исправлены.")}));

    core.Settings().edtTime1 = QStringLiteral("00:00:00");
    core.RunGuarded([&core] { core.Watch().actStartWatchExecute(); });
    EXPECT_TRUE(core.Watch().Watching());
    EXPECT_EQ(env.Errors.size(), 2);
}

// The same settings file in both encodings: Cyrillic paths read right, and a save of what
// was read gives back the very bytes, the unknown keys and sections included.
TEST_F(SettingsTest, Utf8AndWindows1251FilesWithCyrillicPathsRoundTripByteForByte)
{
    Settings.edtTRI = QStringLiteral("/home/трейдер/QUIK/Trans.tri");
    Settings.edtQuikData = QStringLiteral("D:\\Мост\\данные.mdb");
    Settings.edtPassword = QStringLiteral("пароль");
    Settings.SaveSettings();
    const QString text = IniText().replace(
        QStringLiteral("[Quik]\r\n"), QStringLiteral("[Quik]\r\nТерминал=Квик 7\r\n"))
        + QStringLiteral("[Заметки]\r\nКто=оператор Пётр\r\n");

    struct Case { const char* name; QByteArray bytes; };
    const Case cases[] = {{"UTF-8", text.toUtf8()},
                          {"UTF-8 with a byte order mark", "\xEF\xBB\xBF" + text.toUtf8()},
                          {"Windows-1251", ToCp1251(text)}};
    for (const Case& c : cases) {
        WriteWholeFile(IniPath(), c.bytes);
        TSettings loaded = Fresh();
        loaded.LoadSettings();
        EXPECT_EQ(loaded.edtTRI, QStringLiteral("/home/трейдер/QUIK/Trans.tri")) << c.name;
        EXPECT_EQ(loaded.edtQuikData, QStringLiteral("D:\\Мост\\данные.mdb")) << c.name;
        EXPECT_EQ(loaded.edtPassword, QStringLiteral("пароль")) << c.name;
        loaded.SaveSettings();
        EXPECT_EQ(ReadWholeFile(IniPath()), c.bytes) << c.name;

        // A changed path is written in the encoding the file was read in.
        loaded.edtTRO = QStringLiteral("/home/трейдер/QUIK/Trans.tro");
        loaded.SaveSettings();
        const QByteArray saved = ReadWholeFile(IniPath());
        const QByteArray line = "\r\npathTRO=/home/" + (c.bytes == ToCp1251(text)
                                                           ? ToCp1251(QStringLiteral("трейдер"))
                                                           : QStringLiteral("трейдер").toUtf8())
                                + "/QUIK/Trans.tro\r\n";
        EXPECT_TRUE(saved.contains(line)) << c.name;
        EXPECT_EQ(saved.startsWith("\xEF\xBB\xBF"), c.bytes.startsWith("\xEF\xBB\xBF")) << c.name;
    }
}

TEST_F(SettingsTest, Utf8FileTakesTextsWindows1251CannotCarry)
{
    WriteWholeFile(IniPath(), QStringLiteral("[Quik]\r\nCode=Клиент\r\n").toUtf8());
    Settings.LoadSettings();
    EXPECT_EQ(Settings.edtCode, QStringLiteral("Клиент"));
    Settings.edtTRI = QStringLiteral("/home/交易/Trans.tri");
    EXPECT_EQ(SaveError(), QStringLiteral("(saved)"));
    TSettings loaded = Fresh();
    loaded.LoadSettings();
    EXPECT_EQ(loaded.edtTRI, QStringLiteral("/home/交易/Trans.tri"));
}

#ifndef Q_OS_WIN
// Without a settings file the program starts on its defaults, and the start-up empties the
// terminal's files: they must not turn up as files named "C:\Program Files\..." in the
// working directory, but in the folder QUIK beside the program.
TEST_F(SettingsTest, DefaultTerminalFilesLieBesideTheProgramNotInTheWorkingDirectory)
{
    QTemporaryDir workingDir;
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(workingDir.path()));
    {
        ASSERT_TRUE(QDir(Dir.path()).mkpath(QStringLiteral("QUIK/Trans")));
        TTestEnvironment env;
        TOperationLog log(env.Environment);
        log.OpenFile(Dir.filePath(QStringLiteral("Zovrant.log")));
        TMainCore core(env.Environment, log, Settings.ProgramFolder);
        EXPECT_EQ(core.Settings().edtTRI, Dir.filePath(QStringLiteral("QUIK/Trans/Trans.tri")));
        EXPECT_EQ(core.Settings().edtTRO, Dir.filePath(QStringLiteral("QUIK/Trans/Trans.tro")));
        EXPECT_EQ(core.Settings().edtInfoLog, Dir.filePath(QStringLiteral("QUIK/info.log")));
        core.Watch().StartUp();
        EXPECT_TRUE(env.Errors.isEmpty()) << env.Errors.join(QLatin1Char('\n')).toStdString();
    }
    QDir::setCurrent(before);
    EXPECT_EQ(QDir(workingDir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList());
    QStringList terminalFiles = QDir(Dir.filePath(QStringLiteral("QUIK/Trans"))).entryList(QDir::Files);
    terminalFiles.sort();
    EXPECT_EQ(terminalFiles,
              (QStringList{QStringLiteral("Trans.TRR"), QStringLiteral("Trans.tri"), QStringLiteral("Trans.tro")}));
    EXPECT_FALSE(QFile::exists(Dir.filePath(QStringLiteral("Zovrant.ini"))));
}
#endif

TEST(ScrambleTextTest, ShiftsEveryCodeByTwoWrappingAt256)
{
    EXPECT_EQ(ScrambleText(QStringLiteral("abc"), true), QStringLiteral("cde"));
    EXPECT_EQ(ScrambleText(QStringLiteral("cde"), false), QStringLiteral("abc"));
    EXPECT_EQ(ScrambleText(QString(), true), QString());
    EXPECT_EQ(ScrambleText(QStringLiteral("я"), true), QString(QChar(1)));
    EXPECT_EQ(ScrambleText(QString(QChar(0)), false), QStringLiteral("ю"));
    EXPECT_EQ(ScrambleText(QString(QChar(1)), false), QStringLiteral("я"));
    for (int code = 0; code < 256; ++code) {
        const QString source = FromCp1251(QByteArray(1, static_cast<char>(code)));
        const QString encoded = ScrambleText(source, true);
        ASSERT_EQ(encoded.size(), 1) << code;
        EXPECT_EQ(static_cast<unsigned char>(ToCp1251(encoded).at(0)), (code + 2) % 256) << code;
        EXPECT_EQ(ScrambleText(encoded, false), source) << code;
    }
}

} // namespace
