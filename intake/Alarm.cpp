#include "intake/Alarm.h"

#include "base/CoreEvents.h"
#include "base/Environment.h"
#include "base/OperationLog.h"
#include "data/Settings.h"

void AlarmOperator(TOperationLog& log, const TSettings& settings, TCoreEvents& events, TEnvironment& environment,
                   const QString& text)
{
    log.AddToLog(text);
    log.SaveLogQuietly();
    if (MailOn(settings))
        events.Announce(text);
    environment.ReportError(text);
}
