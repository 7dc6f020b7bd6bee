#include "data/Query.h"

#include "data/Connection.h"
#include "data/SqlValue.h"
#include "shell/Error.h"

#include <QSqlError>
#include <QSqlQuery>

void TQuery::SetParam(const QString& name, const QVariant& value)
{
    FParams.insert(name.toLower(), value);
}

QVariant TQuery::Param(const QString& name) const
{
    return FParams.value(name.toLower());
}

QStringList TQuery::ParamNames() const
{
    // ":name" outside quoted texts and bracketed names; "::" is not a parameter.
    const QString text = Text();
    QStringList names;
    QChar closing;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!closing.isNull()) {
            if (c == closing)
                closing = QChar();
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            closing = c;
        } else if (c == QLatin1Char('[')) {
            closing = QLatin1Char(']');
        } else if (c == QLatin1Char(':')) {
            int end = i + 1;
            while (end < text.size() && (text[end].isLetterOrNumber() || text[end] == QLatin1Char('_')))
                ++end;
            if (end > i + 1) {
                const QString name = text.mid(i + 1, end - i - 1);
                if (!names.contains(name, Qt::CaseInsensitive))
                    names << name;
            } else if (end < text.size() && text[end] == QLatin1Char(':')) {
                ++end;
            }
            i = end - 1;
        }
    }
    return names;
}

void TQuery::Prepare(QSqlQuery& query) const
{
    if (!query.prepare(Text()))
        throw TError(query.lastError().text().trimmed());
    for (const QString& name : ParamNames()) {
        // A parameter never given binds NULL.
        query.bindValue(QLatin1Char(':') + name, SqlValue(Param(name)));
    }
}

void TQuery::Fetch()
{
    TConnection::TBusyScope busy(Connection());
    QSqlQuery query(Connection().Database());
    query.setForwardOnly(true);
    Prepare(query);
    if (!query.exec())
        throw TError(query.lastError().text().trimmed());
    Load(query);
    query.finish();
}

int TQuery::ExecSQL()
{
    Close();
    TConnection::TBusyScope busy(Connection());
    QSqlQuery query(Connection().Database());
    Prepare(query);
    if (!query.exec())
        throw TError(query.lastError().text().trimmed());
    return query.numRowsAffected();
}
