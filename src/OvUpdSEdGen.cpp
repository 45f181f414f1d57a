// The statement generators of the UpdateSQL editor form.
//
// Each generator rewrites one statement buffer from the form's state: the
// table text, the selected key and update fields in list order, the quote
// check box and the field-origin list. The texts are fixed templates: lower
// case keywords, one clause per line, two-blank indentation of assignments
// and conditions, separators appended to the previous line, parameters named
// after the dataset's fields and old values prefixed "OLD_".
#include "OvUpdSEd.h"

#include "orvlib/OvCommon.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvSession.h"
#include "orvlib/OvUpdateSQL.h"

#include "rtl/SysUtils.h"

#include <QCheckBox>
#include <QComboBox>

#include <algorithm>

namespace {

// The texts of the selected items of ListBox, in list order (not in the order
// they were selected).
QStringList selectedNames(const QListWidget *ListBox)
{
    QList<int> rows;
    for (const QModelIndex &index : ListBox->selectionModel()->selectedIndexes())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    QStringList names;
    names.reserve(rows.size());
    for (int row : rows)
        names.append(ListBox->item(row)->text());
    return names;
}

// Appends Separator to the last line of Lines unless that line is exactly
// Keyword (the clause has no entry yet).
void separateFromPrevious(TStrings &Lines, const QString &Keyword, const QString &Separator)
{
    const int last = Lines.Count() - 1;
    if (Lines.Strings(last) != Keyword)
        Lines.Put(last, Lines.Strings(last) + Separator);
}

QString assignment(const QString &Column, const QString &Parameter)
{
    return QStringLiteral("  %1 = :%2").arg(Column, Parameter);
}

} // namespace

// A name that cannot stand unquoted (blanks, operators, quotes, a reserved
// word, a letter the server folds) is quoted whatever the check box says:
// unquoted, it would change what the statement compares or writes.
QString TOvUpdateSQLEditForm::QuoteName(const QString &AIdentName) const
{
    const TOvDriver &server = rules();
    return cbQuotedFields->isChecked() || !server.IsPlainName(AIdentName)
               ? server.QuoteIdent(AIdentName)
               : AIdentName;
}

QString TOvUpdateSQLEditForm::quoteParam(const QString &Name) const
{
    return QuoteIdentifier(Name,
                           cbQuotedFields->isChecked() || !IsPlainIdentifier(serverType(), Name));
}

const TOvDriver &TOvUpdateSQLEditForm::rules() const
{
    const TOvServerType server = serverType();
    if (!m_rules || m_rulesFor != server) {
        m_rules = &IdentifierRules(server);
        m_rulesFor = server;
    }
    return *m_rules;
}

QString TOvUpdateSQLEditForm::columnName(const QString &Field) const
{
    if (m_tableColumns.Exact.contains(Field))
        return Field;
    const QString bare = rules().UnquotedName(Field);
    if (m_tableColumns.Exact.contains(bare))
        return bare;
    return m_tableColumns.Folded.value(Field.toCaseFolded(), Field);
}

TOvDatabase *TOvUpdateSQLEditForm::connectedDatabase() const
{
    TOvDataSet *dataSet = FUpdateSQL ? FUpdateSQL->DataSet() : nullptr;
    TOvDatabase *database
        = dataSet ? dataSet->GetDBSession()->FindDatabase(dataSet->DatabaseName()) : nullptr;
    return database && database->Connected() ? database : nullptr;
}

void TOvUpdateSQLEditForm::loadTableColumns()
{
    m_tableColumns = {};
    TOvDatabase *database = connectedDatabase();
    if (!database)
        return;
    const std::unique_ptr<TDataSet> columns = database->GetSchemaInfo(
        TOvSchemaType::stColumns, GetValidObjName(cbTableName->currentText(), !FObjOwnerSupported));
    if (!columns)
        return;
    const TField *name = columns->FieldByName(QStringLiteral("COLUMN_NAME"));
    const TField *generated = columns->FindField(QStringLiteral("COLUMN_GENERATED"));
    const TField *identity = columns->FindField(QStringLiteral("COLUMN_IDENTITY_ALWAYS"));
    QSet<QString> ambiguous;
    for (columns->First(); !columns->Eof(); columns->Next()) {
        const QString column = name->AsString();
        const QString folded = column.toCaseFolded();
        m_tableColumns.Exact.insert(column, column);
        if (m_tableColumns.Folded.contains(folded))
            ambiguous.insert(folded);
        m_tableColumns.Folded.insert(folded, column);
        if ((generated && generated->AsInteger() != 0) || (identity && identity->AsInteger() != 0))
            m_tableColumns.Unwritable.insert(folded);
    }
    for (const QString &folded : std::as_const(ambiguous))
        m_tableColumns.Folded.remove(folded);
}

// The name under which the dataset shows column AFieldName of table
// ATableName: the first field-origin entry whose value splits, at its last
// "." that has a character after it, into exactly that table and column.
// Table and column compare case-sensitively; ATableName is the raw table text.
QString TOvUpdateSQLEditForm::FindFieldAlias(const QString &ATableName,
                                             const QString &AFieldName) const
{
    if (!m_aliasIndex) {
        // Every entry reads the value of the first entry of its name, as a
        // name look-up in the list would; entries are visited in order and the
        // first to claim a (table, column) pair keeps it.
        QHash<QString, QString> firstValues;
        QHash<QPair<QString, QString>, QString> index;
        for (int i = 0; i < FFieldInfo->Count(); ++i) {
            const QString name = FFieldInfo->Names(i);
            if (name.isEmpty())
                continue; // no name, no alias
            const QString key = name.toCaseFolded();
            auto first = firstValues.constFind(key);
            if (first == firstValues.constEnd())
                first = firstValues.insert(key, FFieldInfo->ValueFromIndex(i));
            const QString &value = *first;
            qsizetype dot = value.size() - 2; // a final "." has nothing after it
            while (dot >= 0 && value.at(dot) != u'.')
                --dot;
            if (dot < 0)
                continue;
            const QPair<QString, QString> origin(value.left(dot), value.mid(dot + 1));
            if (!index.contains(origin))
                index.insert(origin, name);
        }
        m_aliasIndex = std::move(index);
    }
    const auto it = m_aliasIndex->constFind({ATableName, AFieldName});
    return it != m_aliasIndex->constEnd() ? *it : AFieldName;
}

// The table as the statements name it. The text is split by the servers'
// identifier rules: a part written in quotes stays quoted as written, any
// other part is quoted as QuoteName decides. Quoting the whole text as one
// name would make a table of that dotted name, which is not what was typed;
// a text that does not read as [owner.]table raises rather than guess.
QString TOvUpdateSQLEditForm::StatementTableName(const QString &TableText) const
{
    const auto invalid = [&TableText] {
        return Exception(SSQLInvalidTableName().arg(TableText.trimmed()));
    };
    const auto written = SplitIdentifierParts(TableText);
    if (!written || written->size() > 2)
        throw invalid();
    const auto parts = SplitIdentifierParts(GetValidObjName(TableText, !FObjOwnerSupported));
    if (!parts)
        throw invalid();
    // An unquoted part stays as written when the server reads it so; else
    // it is quoted as the server reads it bare, or, when it cannot stand
    // bare at all (a blank in it), as written.
    const TOvDriver &server = rules();
    QStringList names;
    for (const TOvNamePart &part : *parts) {
        const bool bare = !part.Quoted && IsPlainIdentifier(serverType(), part.Text);
        const QString read = bare ? server.UnquotedName(part.Text) : part.Text;
        names.append(bare && !cbQuotedFields->isChecked() && server.IsPlainName(read)
                         ? part.Text
                         : server.QuoteIdent(read));
    }
    return names.join(u'.');
}

QStringList TOvUpdateSQLEditForm::OldValueParamClashes() const
{
    const QString tableText = cbTableName->currentText();
    QStringList clashes;
    for (const QString &field : selectedNames(lbUpdateFields)) {
        if (isWritten(field)
            && FindFieldAlias(tableText, field)
                   .startsWith(QLatin1String("OLD_"), Qt::CaseInsensitive))
            clashes.append(field);
    }
    return clashes;
}

bool TOvUpdateSQLEditForm::isWritten(const QString &Field) const
{
    return !m_tableColumns.Unwritable.contains(columnName(Field).toCaseFolded());
}

// The where clause that finds the row by the old values of the key fields,
// shared by the modify, refresh and delete statements.
void TOvUpdateSQLEditForm::AddKeyConditions(TStrings &SQL, const QString &TableText) const
{
    SQL.Add(QStringLiteral("where"));
    for (const QString &field : selectedNames(lbKeyFields)) {
        // A key whose index holds NULLs as equal finds its row also by NULL.
        const QString column = columnName(field);
        const QString op = m_nullSafeKeys.contains(column.toCaseFolded()) ? rules().NullSafeEqual()
                                                                          : QStringLiteral("=");
        const QString line
            = QStringLiteral("  %1 %2 :%3")
                  .arg(QuoteName(column), op,
                       quoteParam(QStringLiteral("OLD_") + FindFieldAlias(TableText, field)));
        separateFromPrevious(SQL, QStringLiteral("where"), QStringLiteral(" and"));
        SQL.Add(line);
    }
}

void TOvUpdateSQLEditForm::GenerateModifySQL()
{
    const QString tableText = cbTableName->currentText();
    const QString table = StatementTableName(tableText);
    TStrings &sql = *FModifySQL;
    sql.BeginUpdate();
    sql.Clear();
    sql.Add(QStringLiteral("update ") + table);
    sql.Add(QStringLiteral("set"));
    for (const QString &field : selectedNames(lbUpdateFields)) {
        if (!isWritten(field))
            continue; // the database computes it and refuses a value
        const QString line = assignment(QuoteName(columnName(field)),
                                        quoteParam(FindFieldAlias(tableText, field)));
        separateFromPrevious(sql, QStringLiteral("set"), QStringLiteral(","));
        sql.Add(line);
    }
    AddKeyConditions(sql, tableText);
    sql.EndUpdate();
}

void TOvUpdateSQLEditForm::GenerateRefreshSQL()
{
    const QString tableText = cbTableName->currentText();
    const QString table = StatementTableName(tableText);
    TStrings &sql = *FRefreshSQL;
    sql.BeginUpdate();
    sql.Clear();
    QString columns;
    for (const QString &field : selectedNames(lbUpdateFields)) {
        if (!columns.isEmpty())
            columns += QStringLiteral(", ");
        columns += QuoteName(columnName(field));
        const QString alias = FindFieldAlias(tableText, field);
        if (alias != field)
            columns += QStringLiteral(" as ") + quoteParam(alias);
    }
    // One entry, two lines: the select list and the from clause.
    sql.Add(QStringLiteral("select ") + columns + QStringLiteral("\r\nfrom ") + table);
    AddKeyConditions(sql, tableText);
    sql.EndUpdate();
}

void TOvUpdateSQLEditForm::GenerateInsertSQL()
{
    const QString tableText = cbTableName->currentText();
    const QString table = StatementTableName(tableText);
    TStrings &sql = *FInsertSQL;
    sql.BeginUpdate();
    sql.Clear();
    sql.Add(QStringLiteral("insert into ") + table);
    QString columns;
    QString values;
    for (const QString &field : selectedNames(lbUpdateFields)) {
        if (!isWritten(field))
            continue; // the database computes it and refuses a value
        if (!columns.isEmpty())
            columns += QStringLiteral(", ");
        columns += QuoteName(columnName(field));
        if (!values.isEmpty())
            values += QStringLiteral(", ");
        values += u':' + quoteParam(FindFieldAlias(tableText, field));
    }
    sql.Add(QStringLiteral("  (") + columns + u')');
    sql.Add(QStringLiteral("values"));
    sql.Add(QStringLiteral("  (") + values + u')');
    sql.EndUpdate();
}

void TOvUpdateSQLEditForm::GenerateDeleteSQL()
{
    const QString tableText = cbTableName->currentText();
    const QString table = StatementTableName(tableText);
    TStrings &sql = *FDeleteSQL;
    sql.BeginUpdate();
    sql.Clear();
    sql.Add(QStringLiteral("delete from ") + table);
    AddKeyConditions(sql, tableText);
    sql.EndUpdate();
}
