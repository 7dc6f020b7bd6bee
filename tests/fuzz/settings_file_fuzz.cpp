// The settings file "Zovrant.ini" as an operator's editor (or a damaged disk) may leave it:
// read into the settings, written back, and the written file read again to the same bytes.
#include "tests/fuzz/FuzzCheck.h"

#include "base/Error.h"
#include "data/ProfileFile.h"
#include "data/Settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {

// The folder the runs write in: in memory where the system offers it, since every
// writing of the settings file waits for the disk (it is made durable before it replaces
// the old file) and a run writes three files per input.
QString FolderTemplate()
{
    const QString memory = QStringLiteral("/dev/shm");
    const QString base = QDir(memory).exists() ? memory : QDir::tempPath();
    return base + QStringLiteral("/zovrant-settings-fuzz-XXXXXX");
}

// The three folders of one run: the input, its first writing, its second.
struct TFolders {
    QTemporaryDir Root{FolderTemplate()};
    QString Folder(const char* name) const
    {
        const QString path = Root.path() + QLatin1Char('/') + QLatin1String(name) + QLatin1Char('/');
        QDir().mkpath(path);
        return path;
    }
};

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    FuzzCheck(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the fuzz input is written");
    FuzzCheck(file.write(bytes) == bytes.size(), "the fuzz input is written");
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    FuzzCheck(file.open(QIODevice::ReadOnly), "a written settings file reads");
    return file.readAll();
}

// Loads the settings from the folder; false when a value does not convert.
bool Load(TSettings& settings, const QString& folder)
{
    settings.ProgramFolder = folder;
    try {
        settings.LoadSettings();
        settings.UpdateTablePeriod();
        settings.InfoLogPeriod();
    } catch (const TError&) {
        return false;
    }
    return true;
}

bool Save(TSettings& settings, const QString& folder)
{
    settings.ProgramFolder = folder;
    try {
        settings.SaveSettings();
    } catch (const TError&) {
        return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFolders folders;
    static const QString input = folders.Folder("input");
    static const QString first = folders.Folder("first");
    static const QString second = folders.Folder("second");
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    WriteFile(input + QStringLiteral("Zovrant.ini"), bytes);

    // The profile file keeps a value it accepted.
    TProfileFile profile(input + QStringLiteral("Zovrant.ini"));
    const QString probe = QStringLiteral("Проверка = 1");
    profile.WriteString(QStringLiteral("Quik"), QStringLiteral("FuzzProbe"), probe);
    FuzzCheck(profile.Value(QStringLiteral("quik"), QStringLiteral("fuzzprobe")) == QStringLiteral("Проверка = 1"),
              "a value written is read back");

    TSettings settings;
    if (!Load(settings, input))
        return 0;
    // Whatever was read is written so that it reads back the same.
    QFile::remove(first + QStringLiteral("Zovrant.ini"));
    QFile::remove(second + QStringLiteral("Zovrant.ini"));
    if (!Save(settings, first))
        return 0;
    TSettings again;
    FuzzCheck(Load(again, first), "settings written read back");
    FuzzCheck(Save(again, second), "settings read back write again");
    FuzzCheck(ReadFile(first + QStringLiteral("Zovrant.ini")) == ReadFile(second + QStringLiteral("Zovrant.ini")),
              "settings read back write the same file");
    return 0;
}
