#include "orvlib/OvComponents.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvSQLLexer.h"
#include "orvlib/OvSession.h"

#include "rtl/SysUtils.h"

// --- TOvScript ----------------------------------------------------------------

TOvScript::TOvScript(QObject *AOwner)
    : QObject(AOwner)
    , m_sql(std::make_unique<TStringList>())
{}

TOvScript::~TOvScript() = default;

void TOvScript::SetSQL(TStrings *Value)
{
    if (!Value)
        m_sql->Clear();
    else
        m_sql->Assign(*Value);
}

TOvSession *TOvScript::GetDBSession() const
{
    return Sessions().GetSessionByName(m_sessionName);
}

QStringList TOvScript::Statements() const
{
    // Statements end at the terminator outside literals and comments, or at
    // a line that holds only "/" or "go". The lexer finds the tokens; the
    // text between statement ends is kept as written.
    QStringList result;
    const QString text = m_sql->Text();
    const QString term = m_terminator.isEmpty() ? QStringLiteral(";") : m_terminator;
    auto flush = [&](qsizetype From, qsizetype To) {
        const QString stmt = text.mid(From, To - From).trimmed();
        if (!stmt.isEmpty())
            result << stmt;
    };
    // Lines that are a lone "/" or "go" end a statement as well.
    auto lineIsSeparator = [&](qsizetype Pos, qsizetype &LineEnd) {
        const qsizetype lineStart = text.lastIndexOf(QLatin1Char('\n'), Pos - 1) + 1;
        LineEnd = text.indexOf(QLatin1Char('\n'), Pos);
        if (LineEnd < 0)
            LineEnd = text.size();
        const QString line = text.mid(lineStart, LineEnd - lineStart).trimmed();
        return line == QLatin1String("/")
               || line.compare(QLatin1String("go"), Qt::CaseInsensitive) == 0;
    };
    qsizetype start = 0;
    TOvSQLLexer lexer(text);
    for (TOvSQLToken t = lexer.Next(); t.kind != TOvSQLToken::End; t = lexer.Next()) {
        qsizetype lineEnd = 0;
        if (t.kind == TOvSQLToken::Symbol && t.text == term) {
            flush(start, t.pos);
            start = t.pos + t.len;
        } else if ((t.isSymbol('/') || t.isKeyword("go")) && lineIsSeparator(t.pos, lineEnd)) {
            flush(start, text.lastIndexOf(QLatin1Char('\n'), t.pos - 1) + 1);
            start = lineEnd;
        }
    }
    flush(start, text.size());
    return result;
}

int TOvScript::ExecScript()
{
    m_errors.clear();
    TOvDatabase *db = GetDBSession()->OpenDatabase(m_databaseName);
    int done = 0;
    for (const QString &stmt : Statements()) {
        try {
            TOvMonitor::Trace(stmt);
            db->Driver().Execute(stmt, {});
            ++done;
        } catch (const Exception &e) {
            if (!m_continueOnError)
                throw;
            m_errors << e.Message();
        }
    }
    return done;
}

// --- TOvMonitor ---------------------------------------------------------------

namespace {
QList<TOvMonitor *> &monitors()
{
    static QList<TOvMonitor *> list;
    return list;
}
} // namespace

TOvMonitor::TOvMonitor(QObject *AOwner)
    : QObject(AOwner)
    , m_lines(std::make_unique<TStringList>())
{
    monitors().append(this);
}

TOvMonitor::~TOvMonitor()
{
    monitors().removeOne(this);
}

void TOvMonitor::SetMaxLines(int Value)
{
    m_maxLines = qMax(0, Value);
    while (m_lines->Count() > m_maxLines)
        m_lines->Delete(0);
}

void TOvMonitor::Trace(const QString &Text)
{
    const QList<TOvMonitor *> list = monitors();
    for (TOvMonitor *m : list) {
        if (!m->m_active)
            continue;
        if (m->m_maxLines > 0) {
            m->m_lines->Add(Text);
            while (m->m_lines->Count() > m->m_maxLines)
                m->m_lines->Delete(0);
        }
        if (m->OnSQL)
            m->OnSQL(m, Text);
    }
}

// --- TOvSQLBaseServer ---------------------------------------------------------

TOvSQLBaseServer::TOvSQLBaseServer(QObject *AOwner)
    : QObject(AOwner)
{}

void TOvSQLBaseServer::SetConnected(bool Value)
{
    if (Value)
        throw Exception(SNoSQLBaseClient());
}

void TOvSQLBaseServer::GetDatabaseNames(TStrings *List)
{
    Q_UNUSED(List);
    throw Exception(SNoSQLBaseClient());
}
