#pragma once

#include <QString>

class TCoreEvents;
class TOperationLog;
class TSettings;
struct TEnvironment;

// Tells the operator of a fault that needs a look: a log line (saved at once), an e-mail
// when any mail event is switched on, and the error box.
void AlarmOperator(TOperationLog& log, const TSettings& settings, TCoreEvents& events, TEnvironment& environment,
                   const QString& text);
