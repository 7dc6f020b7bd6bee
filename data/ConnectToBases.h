#pragma once

class TCoreEvents;
class TDatMod;
class TOperationLog;
class TSettings;

// Opens the alert database (settings.edtAlerts) and the bridge database
// (settings.edtQuikData), logging one line for each, and tells of both connection states
// (StatusChanged); true when both are open. A database that fails to open is logged and
// leaves the other one to be tried. A SQLite bridge file is switched to a write-ahead
// journal and gets the indexes it lacks.
bool ConnectDatabases(TSettings& settings, TDatMod& datMod, TOperationLog& log, TCoreEvents& events);
