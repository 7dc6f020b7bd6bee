#include "data/UnicodeNoCase.h"

#include <QString>
#include <sqlite3.h>

namespace {

int CompareWithoutCase(void*, int leftLength, const void* left, int rightLength, const void* right)
{
    const QString a = QString::fromUtf8(static_cast<const char*>(left), leftLength);
    const QString b = QString::fromUtf8(static_cast<const char*>(right), rightLength);
    const int order = QString::compare(a, b, Qt::CaseInsensitive);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

int InstallOnConnection(sqlite3* database, char**, const sqlite3_api_routines*)
{
    return sqlite3_create_collation_v2(database, "NOCASE", SQLITE_UTF8, nullptr,
                                       &CompareWithoutCase, nullptr);
}

} // namespace

void RegisterUnicodeNoCase()
{
    // SQLite's entry-point type is a bare function pointer; the library calls it with
    // the three arguments above.
    sqlite3_auto_extension(reinterpret_cast<void (*)()>(&InstallOnConnection));
}
