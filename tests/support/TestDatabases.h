#pragma once

#include <QString>
#include <QTemporaryDir>
#include <QVariant>
#include <QVariantMap>
#include <ostream>

class TSettings;

// How a test reaches the SQLite files: directly (Qt's SQLite driver, the default) or
// through ODBC (unixODBC with the SQLite 3 ODBC driver), as an Access file would be.
enum class TTestEngine { Sqlite, Odbc };

// For parameterized tests: "Sqlite" / "Odbc".
const char* EngineName(TTestEngine engine);
void PrintTo(TTestEngine engine, std::ostream* out);

// An alert database and a bridge database, empty and made from the schemas, in a
// temporary folder that is removed with the object. Rows are put in and read back
// through a connection of the test's own, as the strategy platform or the terminal would.
class TTestDatabases {
public:
    explicit TTestDatabases(TTestEngine engine = TTestEngine::Sqlite);
    ~TTestDatabases();

    TTestEngine Engine() const { return FEngine; }
    QString Folder() const { return FDir.path(); }
    QString FilePath(const QString& name) const { return FDir.filePath(name); }
    // The two files.
    const QString& AlertsPath() const { return FAlertsPath; }
    const QString& BridgePath() const { return FBridgePath; }
    // What the settings hold to open them with the test's engine.
    QString AlertsSource() const { return Source(FAlertsPath); }
    QString BridgeSource() const { return Source(FBridgePath); }
    QString Source(const QString& path) const;
    static QString OdbcSource(const QString& path);

    // Adds a row (column name -> value) to a table of a file; the new row's id.
    qint64 Insert(const QString& path, const QString& table, const QVariantMap& values);
    // The bridge rows of a desk trading one security (SBER of TQBR, lot 1, 2 digits,
    // slippage 0.1) from workspace Demo.wsp and strategy Trend for two active clients, C1
    // and C2, with accounts ACC-C1 and ACC-C2.
    void SeedTwoClients();
    // Runs a statement with positional parameters ("?") on a file; rows changed.
    int Exec(const QString& path, const QString& statement, const QVariantList& binds = {});
    // The first column of the first row of a statement; null when there is no row.
    QVariant Scalar(const QString& path, const QString& statement, const QVariantList& binds = {});

private:
    TTestEngine FEngine;
    QTemporaryDir FDir;
    QString FAlertsPath;
    QString FBridgePath;
    QString FConnectionName;
};

// Points the settings at both test databases and at the terminal's files in the folder
// "quik" of the test folder (trans.tri, trans.tro, info.log), and sets the single account:
// client code "111", accounts "L01-00000F00" and "SPB".
void PointAtTestFiles(TSettings& settings, const TTestDatabases& bases);
