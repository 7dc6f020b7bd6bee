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

QSqlQuery& TQuery::Prepare() const
{
    QSqlQuery& query = Connection().PreparedStatement(Text());
    for (const QString& name : ParamNames()) {
        // A parameter never given binds NULL.
        query.bindValue(QLatin1Char(':') + name, SqlValue(Param(name)));
    }
    return query;
}

void TQuery::Fetch()
{
    TConnection::TBusyScope busy(Connection());
    QSqlQuery& query = Prepare();
    // The kept statement is reset however the read ends, so it holds no read lock on the
    // file between uses.
    struct TFinish {
        QSqlQuery& Query;
        ~TFinish() { Query.finish(); }
    } finish{query};
    if (!query.exec())
        throw TError(query.lastError().text().trimmed());
    Load(query);
}

int TQuery::ExecSQL()
{
    Close();
    TConnection::TBusyScope busy(Connection());
    QSqlQuery& query = Prepare();
    const bool done = query.exec();
    const QString failure = done ? QString() : query.lastError().text().trimmed();
    const int changed = done ? query.numRowsAffected() : 0;
    query.finish();
    if (!done)
        throw TError(failure);
    return changed;
}
