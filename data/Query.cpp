#include "data/Query.h"

#include "base/Error.h"
#include "data/Connection.h"
#include "data/SqliteStatement.h"
#include "data/SqlValue.h"

#include <QSqlError>
#include <QSqlQuery>
#include <utility>

namespace {

// Texts whose parameters a statement keeps read.
const qsizetype KeptTexts = 4;

// ":name" outside quoted texts and bracketed names; "::" is not a parameter.
QStringList ReadParamNames(const QString& text)
{
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

// The name in lower case; a name of lower-case ASCII letters, digits and "_" (every name
// the program uses) is already so.
QString LowerName(const QString& name)
{
    for (const QChar c : name) {
        const char16_t code = c.unicode();
        if (!((code >= u'a' && code <= u'z') || (code >= u'0' && code <= u'9') || code == u'_'))
            return name.toLower();
    }
    return name;
}

} // namespace

const QVariant* TQuery::FindParam(const QString& lowerName) const
{
    for (const TParam& param : FParams) {
        if (param.Name == lowerName)
            return &param.Value;
    }
    return nullptr;
}

void TQuery::SetParam(const QString& name, const QVariant& value)
{
    const QString key = LowerName(name);
    for (TParam& param : FParams) {
        if (param.Name == key) {
            param.Value = value;
            return;
        }
    }
    FParams.append(TParam{key, value});
}

QVariant TQuery::Param(const QString& name) const
{
    const QVariant* value = FindParam(LowerName(name));
    return value ? *value : QVariant();
}

const TQuery::TParsedText& TQuery::Parsed() const
{
    // Lines that share their data with those read before are equal without a comparison.
    for (qsizetype i = 0; i < FParsed.size(); ++i) {
        if (FParsed[i].Lines == SQL) {
            if (i > 0)
                FParsed.move(i, 0);
            return FParsed.front();
        }
    }
    TParsedText parsed;
    parsed.Lines = SQL;
    parsed.Text = Text();
    parsed.Names = ReadParamNames(parsed.Text);
    for (const QString& name : std::as_const(parsed.Names)) {
        parsed.BindKeys << QLatin1Char(':') + name;
        parsed.Keys << LowerName(name);
    }
    if (FParsed.size() >= KeptTexts)
        FParsed.removeLast();
    FParsed.prepend(std::move(parsed));
    return FParsed.front();
}

QStringList TQuery::ParamNames() const
{
    return Parsed().Names;
}

QSqlQuery& TQuery::Prepare() const
{
    const TParsedText& parsed = Parsed();
    TPreparedStatement& statement = Connection().PreparedStatement(parsed.Text);
    for (int i = 0; i < parsed.Keys.size(); ++i) {
        // A parameter never given binds NULL.
        const QVariant* value = FindParam(parsed.Keys[i]);
        statement.Bind(i, parsed.BindKeys[i], SqlValue(value ? *value : QVariant()));
    }
    return statement.Query;
}

TSqliteStatement* TQuery::BindDirect() const
{
    const TParsedText& parsed = Parsed();
    TSqliteStatement* statement = Connection().SqliteStatement(parsed.Text);
    if (!statement || !statement->TakesPlaceholders(parsed.BindKeys))
        return nullptr;
    // A value refused leaves the values bound before it in place: they are what the
    // statement holds, and Qt's statement runs the text then.
    const QVariant never;
    for (int i = 0; i < parsed.Keys.size(); ++i) {
        // A parameter never given binds NULL.
        const QVariant* given = FindParam(parsed.Keys[i]);
        const QVariant& value = given ? *given : never;
        const bool asIs = value.isValid() && !(value.typeId() == QMetaType::QString
                                               && static_cast<const QString*>(value.constData())->isNull());
        if (!statement->Bind(i, asIs ? value : SqlValue(value)))
            return nullptr;
    }
    return statement;
}

void TQuery::Fetch()
{
    TConnection::TBusyScope busy(Connection());
    if (TSqliteStatement* statement = BindDirect()) {
        QStringList names;
        QVector<QVector<QVariant>> rows;
        statement->Read(&names, &rows);
        Load(std::move(names), std::move(rows));
        return;
    }
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

bool TQuery::ReadColumns(const QStringList& names, QVector<QVector<QVariant>>* rows)
{
    Close();
    TConnection::TBusyScope busy(Connection());
    TSqliteStatement* statement = BindDirect();
    return statement && statement->ReadColumns(names, rows);
}

int TQuery::ExecSQL()
{
    Close();
    TConnection::TBusyScope busy(Connection());
    if (TSqliteStatement* statement = BindDirect())
        return statement->Execute();
    QSqlQuery& query = Prepare();
    const bool done = query.exec();
    const QString failure = done ? QString() : query.lastError().text().trimmed();
    const int changed = done ? query.numRowsAffected() : 0;
    query.finish();
    if (!done)
        throw TError(failure);
    return changed;
}
