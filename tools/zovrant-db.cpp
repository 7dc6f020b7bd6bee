// Creates an empty alert database or bridge database as a SQLite file:
//   zovrant-db create-alerts PATH
//   zovrant-db create-bridge PATH
//   zovrant-db add-journal PATH
// An existing file is never overwritten; add-journal adds the change journal of the alert
// tables to an alert database made before it had one.

#include "data/Schemas.h"
#include "base/Error.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

int Usage(QTextStream& err)
{
    err << "Usage: zovrant-db create-alerts PATH\n"
           "       zovrant-db create-bridge PATH\n"
           "       zovrant-db add-journal PATH\n"
           "Creates an empty alert database (FilledOrders, ActiveOrders, CanceledOrders,\n"
           "OpenPositions) or bridge database (tParam, tPortfolio, tSecCode, tWorkSpaces,\n"
           "tStrategy, tOrderNumber, tclients, tClientOpenPositions) as a SQLite file.\n"
           "An existing file is not overwritten. add-journal adds to an existing SQLite alert\n"
           "database the change journal that lets Zovrant read only the changed rows.\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList arguments = application.arguments().mid(1);
    if (arguments.size() != 2 || arguments[1].isEmpty())
        return Usage(err);
    const QString& command = arguments[0];
    const QString& path = arguments[1];
    try {
        if (command == QLatin1String("create-alerts"))
            CreateAlertDatabase(path);
        else if (command == QLatin1String("create-bridge"))
            CreateBridgeDatabase(path);
        else if (command == QLatin1String("add-journal"))
            AddChangeJournal(path);
        else
            return Usage(err);
    } catch (const std::exception& error) {
        err << "zovrant-db: " << ErrorText(error) << "\n";
        return 1;
    }
    out << (command == QLatin1String("add-journal") ? "Added the change journal to " : "Created ") << path << "\n";
    return 0;
}
