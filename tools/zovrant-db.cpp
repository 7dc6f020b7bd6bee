// Creates an empty alert database or bridge database as a SQLite file, or puts the demo's
// rows into a bridge database:
//   zovrant-db create-alerts PATH
//   zovrant-db create-bridge PATH
//   zovrant-db add-journal PATH
//   zovrant-db seed-demo PATH [--clients N]
// An existing file is never overwritten; add-journal adds the change journal of the alert
// tables to an alert database made before it had one; seed-demo adds to a bridge database
// made by create-bridge the demo's security, workspace, strategy and N active clients
// (3 unless given).

#include "base/Error.h"
#include "data/Schemas.h"
#include "tools/seed/DemoSeed.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

const int DemoClients = 3;

int Usage(QTextStream& err)
{
    err << "Usage: zovrant-db create-alerts PATH\n"
           "       zovrant-db create-bridge PATH\n"
           "       zovrant-db add-journal PATH\n"
           "       zovrant-db seed-demo PATH [--clients N]\n"
           "Creates an empty alert database (FilledOrders, ActiveOrders, CanceledOrders,\n"
           "OpenPositions) or bridge database (tParam, tPortfolio, tSecCode, tWorkSpaces,\n"
           "tStrategy, tOrderNumber, tclients, tClientOpenPositions) as a SQLite file.\n"
           "An existing file is not overwritten. add-journal adds to an existing SQLite alert\n"
           "database the change journal that lets Zovrant read only the changed rows.\n"
           "seed-demo adds to a bridge database made by create-bridge the demo's security\n"
           "SBER, workspace Demo.wsp, strategy Trend and N active clients (3 by default).\n";
    return 2;
}

// The number of clients after --clients, or the default without it; -1 when the rest of
// the arguments is not "--clients N" with N from 0 on.
int ClientsArgument(const QStringList& rest)
{
    if (rest.isEmpty())
        return DemoClients;
    if (rest.size() != 2 || rest[0] != QLatin1String("--clients"))
        return -1;
    bool ok = false;
    const int clients = rest[1].toInt(&ok);
    return ok && clients >= 0 ? clients : -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList arguments = application.arguments().mid(1);
    if (arguments.size() < 2 || arguments[1].isEmpty())
        return Usage(err);
    const QString& command = arguments[0];
    const QString& path = arguments[1];
    const bool seed = command == QLatin1String("seed-demo");
    const int clients = seed ? ClientsArgument(arguments.mid(2)) : 0;
    if ((!seed && arguments.size() != 2) || clients < 0)
        return Usage(err);
    try {
        if (command == QLatin1String("create-alerts"))
            CreateAlertDatabase(path);
        else if (command == QLatin1String("create-bridge"))
            CreateBridgeDatabase(path);
        else if (command == QLatin1String("add-journal"))
            AddChangeJournal(path);
        else if (seed)
            SeedDemoBridge(path, clients);
        else
            return Usage(err);
    } catch (const std::exception& error) {
        err << "zovrant-db: " << ErrorText(error) << "\n";
        return 1;
    }
    if (command == QLatin1String("add-journal"))
        out << "Added the change journal to " << path << "\n";
    else if (seed)
        out << "Added the demo's rows with " << clients << " clients to " << path << "\n";
    else
        out << "Created " << path << "\n";
    return 0;
}
