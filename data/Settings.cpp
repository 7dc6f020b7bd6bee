#include "data/Settings.h"

#include "base/CodePage.h"
#include "base/Error.h"
#include "data/DatabaseFiles.h"
#include "data/ProfileFile.h"
#include "data/SessionTime.h"

#include <QDir>
#include <QLocale>
#include <QStringList>
#include <cmath>
#include <limits>
#include <optional>

namespace {

// The defaults of a missing key. The written defaults of the terminal's files are Windows
// paths; elsewhere such a text is a relative file name with backslashes in it, and the
// start-up, which empties the terminal's files, would create it in the working directory.
// There the same files are looked for in a folder QUIK beside the program.
TSettings DefaultSettings(const QString& programFolder)
{
    TSettings defaults;
#ifndef Q_OS_WIN
    const QString quik = programFolder + QStringLiteral("QUIK/");
    defaults.edtTRI = quik + QStringLiteral("Trans/Trans.tri");
    defaults.edtTRO = quik + QStringLiteral("Trans/Trans.tro");
    defaults.edtInfoLog = quik + QStringLiteral("info.log");
#else
    Q_UNUSED(programFolder);
#endif
    return defaults;
}

// Every key of the settings file, in the order in which it is read and written, with the
// field that holds it. A choice names the index of its last item.
template <class TVisitor>
void ForEachKey(TVisitor& visitor)
{
    visitor.Section("Position");
    visitor.Choice("PositionSize", &TSettings::rgpPositionSize, 4);
    visitor.Text("FixVol", &TSettings::edtFixVol);
    visitor.Text("Part", &TSettings::edtPart);
    visitor.Choice("rgpFilled", &TSettings::rgpFilled, 1);
    visitor.Text("time1", &TSettings::edtTime1);
    visitor.Text("time2", &TSettings::edtTime2);
    visitor.Flag("ExitQty", &TSettings::chExitQty);
    visitor.Choice("rgpSingleMulti", &TSettings::rgpSingleMulti, 1);

    visitor.Section("Quik");
    visitor.Text("pathTRI", &TSettings::edtTRI);
    visitor.Text("pathTRO", &TSettings::edtTRO);
    visitor.Text("pathInfoLog", &TSettings::edtInfoLog);
    visitor.Text("AccountMicex", &TSettings::edtAccountMicex);
    visitor.Text("AccountFORTS", &TSettings::edtAccountFORTS);
    visitor.Text("intTable", &TSettings::edtIntTable);
    visitor.Text("QuikConnectTimeOut", &TSettings::edtQuikConnectTimeOut);
    visitor.Text("Code", &TSettings::edtCode);
    visitor.Text("Alerts", &TSettings::edtAlerts);
    visitor.Text("QuikData", &TSettings::edtQuikData);
    visitor.Flag("Connect", &TSettings::chConnect);
    visitor.Flag("QuikConnect", &TSettings::chQuikConnect);

    visitor.Section("Mail");
    visitor.Text("SMTP", &TSettings::edtSMTP);
    visitor.Text("Port", &TSettings::edtPort);
    visitor.Text("User", &TSettings::edtUser);
    visitor.Scrambled("Password", &TSettings::edtPassword);
    visitor.Flag("Auten", &TSettings::chAuten);
    visitor.Text("FromName", &TSettings::edtFromName);
    visitor.Text("FromAddress", &TSettings::edtFromAddress);
    visitor.Text("Email1", &TSettings::edtEmail1);
    visitor.Text("Email2", &TSettings::edtEmail2);
    visitor.Flag("SendTrans_id", &TSettings::chSendTrans_Id);
    visitor.Flag("SendTrans_done", &TSettings::chSendTrans_done);
    visitor.Flag("SendQuikConnect", &TSettings::chSendQuikConnect);

    visitor.Section("Risk");
    visitor.Count("DuplicateMs", &TSettings::DuplicateMs);
    visitor.Count("MaxLinesPerOrder", &TSettings::MaxLinesPerOrder);
    visitor.Count("TxPerSecond", &TSettings::TxPerSecond);
    visitor.Count("TxBurst", &TSettings::TxBurst);
    visitor.Section("Log");
    visitor.Count("MaxMB", &TSettings::MaxMB);
    visitor.Count("KeepDays", &TSettings::KeepDays);
}

// The failure of one setting: the file, the section and the key it stands under, the
// value as stored and what is wrong with it, so that the operator finds the line to mend.
TError SettingError(const QString& fileName, const QString& section, const QString& key,
                    const QString& value, const QString& problem)
{
    return TError(QStringLiteral("Файл настроек %1, раздел [%2], ключ %3: значение \"%4\" %5")
                      .arg(QDir::toNativeSeparators(fileName), section, key, value, problem));
}

const QString kNotInteger = QStringLiteral("не является целым числом");
const QString kNotFlag = QStringLiteral("не является логическим значением");
const QString kNegative = QStringLiteral("не может быть отрицательным");

std::optional<int> ParseInteger(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// Any number (non-zero is checked) or "True"/"False" in any letter case.
std::optional<bool> ParseFlag(const QString& text)
{
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    QLocale numbers = QLocale::c();
    numbers.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = numbers.toDouble(text, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value != 0;
}

// Below 0 selects no item, beyond the last item selects the last.
int ClampedChoice(int index, int last)
{
    if (index < 0)
        return -1;
    return index > last ? last : index;
}

class TSettingsReader {
public:
    TSettingsReader(const TProfileFile& file, TSettings& target)
        : FFile(file), FTarget(target), FDefaults(DefaultSettings(target.ProgramFolder)) {}

    void Section(const char* name) { FSection = QLatin1String(name); }
    void Choice(const char* key, int TSettings::*field, int last)
    {
        const std::optional<QString> text = Stored(key);
        if (!text) {
            FTarget.*field = FDefaults.*field;
            return;
        }
        const std::optional<int> index = ParseInteger(*text);
        if (!index)
            throw Failure(key, *text, kNotInteger);
        FTarget.*field = ClampedChoice(*index, last);
    }
    void Flag(const char* key, bool TSettings::*field)
    {
        const std::optional<QString> text = Stored(key);
        if (!text) {
            FTarget.*field = FDefaults.*field;
            return;
        }
        const std::optional<bool> checked = ParseFlag(*text);
        if (!checked)
            throw Failure(key, *text, kNotFlag);
        FTarget.*field = *checked;
    }
    // A whole number of 0 or more (a control's limit; 0 is off).
    void Count(const char* key, int TSettings::*field)
    {
        const std::optional<QString> text = Stored(key);
        if (!text) {
            FTarget.*field = FDefaults.*field;
            return;
        }
        const std::optional<int> value = ParseInteger(text->trimmed());
        if (!value)
            throw Failure(key, *text, kNotInteger);
        if (*value < 0)
            throw Failure(key, *text, kNegative);
        FTarget.*field = *value;
    }
    void Text(const char* key, QString TSettings::*field)
    {
        FTarget.*field = Stored(key).value_or(FDefaults.*field);
    }
    void Scrambled(const char* key, QString TSettings::*field)
    {
        const std::optional<QString> text = Stored(key);
        FTarget.*field = text ? ScrambleText(*text, false) : FDefaults.*field;
    }

private:
    std::optional<QString> Stored(const char* key) const
    {
        return FFile.Value(FSection, QLatin1String(key));
    }
    TError Failure(const char* key, const QString& value, const QString& problem) const
    {
        return SettingError(FFile.FileName(), FSection, QLatin1String(key), value, problem);
    }

    const TProfileFile& FFile;
    TSettings& FTarget;
    const TSettings FDefaults;
    QString FSection;
};

class TSettingsWriter {
public:
    TSettingsWriter(TProfileFile& file, const TSettings& source)
        : FFile(file), FSource(source) {}

    void Section(const char* name) { FSection = QLatin1String(name); }
    void Choice(const char* key, int TSettings::*field, int)
    {
        Write(key, QString::number(FSource.*field));
    }
    void Flag(const char* key, bool TSettings::*field)
    {
        Write(key, FSource.*field ? QStringLiteral("-1") : QStringLiteral("0"));
    }
    void Count(const char* key, int TSettings::*field) { Write(key, QString::number(FSource.*field)); }
    void Text(const char* key, QString TSettings::*field) { Write(key, FSource.*field); }
    void Scrambled(const char* key, QString TSettings::*field)
    {
        Write(key, ScrambleText(FSource.*field, true));
    }

private:
    void Write(const char* key, const QString& value)
    {
        FFile.WriteString(FSection, QLatin1String(key), value);
    }

    TProfileFile& FFile;
    const TSettings& FSource;
    QString FSection;
};

// The stored password is shifted by +2 on its Windows-1251 codes. A character outside the
// code page has no code; "ю" (254) would turn into code 0 and a control character into a
// line break or a blank cut off the end of the line: one line of the file carries none of
// them back. Such a password is refused rather than silently stored wrong.
void RefuseUnstorablePassword(const QString& password)
{
    QStringList refused;
    for (const char32_t point : password.toUcs4()) {
        const QString character = QString::fromUcs4(&point, 1);
        QString shown;
        if (!FitsCp1251(character))
            shown = QStringLiteral("«%1»").arg(character);
        else if (const auto code = static_cast<unsigned char>(ToCp1251(character).at(0));
                 code < 0x20)
            shown = QStringLiteral("символ с кодом %1").arg(code);
        else if (code == 0xFE)
            shown = QStringLiteral("«%1»").arg(character);
        if (!shown.isEmpty() && !refused.contains(shown))
            refused << shown;
    }
    if (!refused.isEmpty())
        throw TError(QStringLiteral("Настройки не сохранены: пароль содержит символы, которые "
                                    "нельзя сохранить в файле настроек: %1.")
                         .arg(refused.join(QStringLiteral(", "))));
}

// A timer period in milliseconds from the number of seconds of a [Quik] key.
int PeriodMilliseconds(const TSettings& settings, const char* key, const QString& seconds)
{
    constexpr int kMaxSeconds = std::numeric_limits<int>::max() / 1000;
    const std::optional<int> value = ParseInteger(seconds);
    if (!value)
        throw SettingError(settings.FileName(), QStringLiteral("Quik"), QLatin1String(key), seconds, kNotInteger);
    if (*value < 0 || *value > kMaxSeconds)
        throw SettingError(settings.FileName(), QStringLiteral("Quik"), QLatin1String(key), seconds,
                           QStringLiteral("вне допустимых пределов периода таймера (от 0 до %1 сек.)")
                               .arg(kMaxSeconds));
    return *value * 1000;
}

} // namespace

void TSettings::LoadSettings()
{
    const TProfileFile file(FileName());
    TSettingsReader reader(file, *this);
    ForEachKey(reader);
}

int TSettings::UpdateTablePeriod() const
{
    return PeriodMilliseconds(*this, "intTable", edtIntTable);
}

int TSettings::InfoLogPeriod() const
{
    return PeriodMilliseconds(*this, "QuikConnectTimeOut", edtQuikConnectTimeOut);
}

namespace {

QStringList SessionTimeProblems(const TSettings& settings)
{
    QStringList problems;
    const std::pair<const char*, const QString*> times[] = {{"time1", &settings.edtTime1},
                                                            {"time2", &settings.edtTime2}};
    for (const auto& [key, text] : times) {
        try {
            SessionTime(*text);
        } catch (const TError&) {
            problems << SettingError(settings.FileName(), QStringLiteral("Position"), QLatin1String(key), *text,
                                     QStringLiteral("не является временем (ЧЧ:ММ:СС)"))
                            .Text();
        }
    }
    return problems;
}

} // namespace

void TSettings::CheckSessionTimes() const
{
    const QStringList problems = SessionTimeProblems(*this);
    if (!problems.isEmpty())
        throw TError(problems.join(QLatin1Char('\n'))
                     + QStringLiteral("\nЗагрузка ордеров не включается, пока время торговой сессии "
                                      "не исправлено в настройках."));
}

QStringList TSettings::SendingProblems() const
{
    QStringList problems;
    auto add = [&](const char* section, const char* key, const QString& value, const QString& problem) {
        problems << SettingError(FileName(), QLatin1String(section), QLatin1String(key), value, problem).Text();
    };
    const QString sameAs = QStringLiteral("совпадает с файлом ключа %1: ");
    // The terminal's files, each against the ones before it and against the databases.
    const std::pair<const char*, const QString*> files[] = {
        {"pathTRI", &edtTRI}, {"pathTRO", &edtTRO}, {"pathInfoLog", &edtInfoLog}};
    const QString whatFile[] = {QStringLiteral("файл транзакций"), QStringLiteral("файл результатов транзакций"),
                                QStringLiteral("журнал терминала")};
    for (int i = 0; i < 3; ++i) {
        const auto& [key, path] = files[i];
        if (i < 2 && path->trimmed().isEmpty()) {
            add("Quik", key, *path, QStringLiteral("не задано: нужен путь к файлу"));
            continue;
        }
        for (int j = 0; j < i; ++j) {
            if (SameFile(*path, *files[j].second))
                add("Quik", key, *path,
                    sameAs.arg(QLatin1String(files[j].first)) + QStringLiteral("%1 и %2 должны быть разными файлами")
                                                                   .arg(whatFile[j], whatFile[i]));
        }
        if (i < 2) {
            const QString reason = DatabaseFileReason(*path, {edtAlerts, edtQuikData});
            if (!reason.isEmpty())
                add("Quik", key, *path, reason + QStringLiteral(": в него нельзя писать как в ") + whatFile[i]);
        }
    }
    const std::optional<int> seconds = ParseInteger(edtIntTable.trimmed());
    if (!seconds || *seconds < 1 || *seconds > MaxTableSeconds)
        add("Quik", "intTable", edtIntTable,
            QStringLiteral("не является периодом таблиц от 1 до %1 сек.: при 0 результаты транзакций не читаются, "
                           "при большем периоде снятия заявок опаздывают")
                .arg(MaxTableSeconds));
    if (rgpSingleMulti == 0) {
        if (edtCode.trimmed().isEmpty())
            add("Quik", "Code", edtCode, QStringLiteral("не задано: в режиме одного счета нужен код клиента"));
        if (edtAccountMicex.trimmed().isEmpty() && edtAccountFORTS.trimmed().isEmpty()) {
            const QString problem = QStringLiteral("не задано, как и счет другого рынка: в режиме одного счета "
                                                   "нужен хотя бы один счет");
            add("Quik", "AccountMicex", edtAccountMicex, problem);
            add("Quik", "AccountFORTS", edtAccountFORTS, problem);
        }
    }
    return problems;
}

void TSettings::CheckWatchSettings() const
{
    const QStringList problems = SendingProblems() + SessionTimeProblems(*this);
    if (!problems.isEmpty())
        throw TError(problems.join(QLatin1Char('\n'))
                     + QStringLiteral("\nЗагрузка ордеров не включается, пока настройки не исправлены."));
}

void TSettings::SaveSettings() const
{
    RefuseUnstorablePassword(edtPassword);
    // Every key is set in memory first and the file written once at the end, so a value
    // that cannot be stored leaves the file exactly as it was.
    TProfileFile file(FileName());
    TSettingsWriter writer(file, *this);
    ForEachKey(writer);
    file.Save();
}

QString ScrambleText(const QString& source, bool encode)
{
    QByteArray codes = ToCp1251(source);
    const int shift = encode ? 2 : -2;
    for (char& code : codes)
        code = static_cast<char>((static_cast<unsigned char>(code) + shift) & 0xFF);
    return FromCp1251(codes);
}

bool MailOn(const TSettings& settings)
{
    return settings.chSendTrans_Id || settings.chSendTrans_done || settings.chSendQuikConnect;
}
