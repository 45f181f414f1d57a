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
    // A "/" or "go" alone on its line ends a statement as well. Only the
    // blanks next to the token are looked at, so splitting stays linear.
    auto aloneOnLine = [&](const TOvSQLToken &T, qsizetype &LineStart, qsizetype &LineEnd) {
        qsizetype b = T.pos;
        while (b > 0 && text.at(b - 1) != QLatin1Char('\n') && text.at(b - 1).isSpace())
            --b;
        if (b > 0 && text.at(b - 1) != QLatin1Char('\n'))
            return false;
        qsizetype e = T.pos + T.len;
        while (e < text.size() && text.at(e) != QLatin1Char('\n') && text.at(e).isSpace())
            ++e;
        if (e < text.size() && text.at(e) != QLatin1Char('\n'))
            return false;
        LineStart = b;
        LineEnd = e;
        return true;
    };
    qsizetype start = 0;
    TOvSQLLexer lexer(text);
    for (TOvSQLToken t = lexer.Next(); t.kind != TOvSQLToken::End; t = lexer.Next()) {
        qsizetype lineStart = 0, lineEnd = 0;
        if (t.kind == TOvSQLToken::Symbol && t.raw == term) {
            flush(start, t.pos);
            start = t.pos + t.len;
        } else if ((t.isSymbol('/') || t.isKeyword("go")) && aloneOnLine(t, lineStart, lineEnd)) {
            flush(start, lineStart);
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
