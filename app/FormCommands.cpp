#include "FormCommands.h"

#include "ModuleCheck.h"
#include "OvUpdSEd.h"

#include "designide/FormFile.h"
#include "designide/Sprigs.h"
#include "orvlib/OvComponents.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvDataSets.h"
#include "orvlib/OvDatabase.h"
#include "orvlib/OvDlgsParams.h"
#include "orvlib/OvDriver.h"
#include "orvlib/OvSession.h"
#include "orvlib/OvUpdateSQL.h"
#include "rtl/FileAccess.h"
#include "rtl/Forms.h"
#include "rtl/UiServices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QScopeGuard>
#include <QTextStream>

#include <memory>

namespace {

// A form file read for a command. The working folder becomes the form's
// folder, so that a database file named relative to the form is found
// wherever the command was started.
struct LoadedForm
{
    std::unique_ptr<QObject> Root;
    QList<TDeferredProperty> Deferred;
    QString FileName;     // absolute
    TFormFileStamp Stamp; // what was read
    QList<TFormWarning> Warnings;
};

LoadedForm loadForm(const QString &FormFile, TFormSourceMap *Sources = nullptr)
{
    LoadedForm form;
    form.FileName = QFileInfo(FormFile).absoluteFilePath();
    if (!QFileInfo(form.FileName).isFile())
        throw Exception(QStringLiteral("Form file %1 not found").arg(FormFile));
    form.Root = LoadFormFile(form.FileName, &form.Deferred, Sources, &form.Stamp, &form.Warnings);
    QDir::setCurrent(QFileInfo(form.FileName).absolutePath());
    return form;
}

bool isStoredPassword(const QString &Entry)
{
    const qsizetype eq = Entry.indexOf(QLatin1Char('='));
    return eq > 0
           && Entry.left(eq).trimmed().compare(QLatin1String("PASSWORD"), Qt::CaseInsensitive) == 0
           && !Entry.mid(eq + 1).isEmpty();
}

void printNode(TSprig *Node, int Depth, QTextStream &Out, bool &Flagged)
{
    const bool problem = Node->AnyProblems();
    Flagged |= problem;
    QString caption = Node->Caption();
    caption.replace(QLatin1Char('\n'), QLatin1Char(' '));
    Out << QString(Depth * 2, QLatin1Char(' ')) << caption
        << (problem ? QStringLiteral("  [problem]") : QString()) << '\n';
    for (TSprig *child : Node->Children())
        printNode(child, Depth + 1, Out, Flagged);
}

// The person's part in the UpdateSQL editor, played without a window: on the
// form it presses Select Primary Keys and Generate SQL, then OK. Every
// message box the editor shows is kept and answered No (so an empty modify
// statement is never confirmed).
class HeadlessEditorUi : public UiServices
{
public:
    HeadlessEditorUi()
        : m_previous(&uiServices())
    {
        setUiServices(this);
    }
    ~HeadlessEditorUi() override { setUiServices(m_previous == this ? nullptr : m_previous); }

    QStringList Messages;
    bool FormShown = false;
    bool Accepted = false;

    TModalResult messageDlg(const MessageRequest &Request) override
    {
        Messages.append(Request.text);
        return mrNo;
    }
    TModalResult runModal(TForm &Form) override
    {
        // Any other dialog would wait for a person who is not there.
        if (!Form.findChild<QPushButton *>(QStringLiteral("btGenerateSQL")))
            throw Exception(QStringLiteral("The dialog \"%1\" needs a person to answer it")
                                .arg(Form.windowTitle()));
        FormShown = true;
        for (const char *name : {"btSelectPrimKeys", "btGenerateSQL"}) {
            auto *button = Form.findChild<QPushButton *>(QLatin1String(name));
            if (!button)
                throw Exception(
                    QStringLiteral("The editor has no button %1").arg(QLatin1String(name)));
            button->click();
        }
        // OK asks its own questions, answered No: an empty modify statement
        // is not confirmed (nothing is accepted, and the question is the
        // run's error), statements that do not prepare are kept as generated
        // (the run goes on, and --check reports them as its findings).
        if (Messages.isEmpty()) {
            Accepted = Form.SetModalResult(mrOk);
            if (Accepted)
                Messages.clear();
        }
        if (!Accepted)
            Form.SetModalResult(mrCancel);
        return Form.ModalResult();
    }
    bool openFile(TOpenDialog &) override { return false; }
    int shellOpen(const QString &) override { return 0; }
    bool isAltKeyDown() override { return false; }

private:
    UiServices *m_previous;
};

// How often a write starts again on a form that other runs keep changing.
constexpr int MaxWriteAttempts = 50;

// Stores the statements of Update, an update object of Form, in the form
// file. Nothing is locked while the server is asked, so that a slow server
// holds up no other save: the form is locked only for the write itself
// (SaveFormFile), which compares the file with what was read. When another
// run or program changed it meanwhile, the statements are put into the file
// as it is now and written again; that change is kept.
void writeStatements(const LoadedForm &Form, TOvUpdateSQL *Update)
{
    const QObject *root = Form.Root.get();
    TFormFileStamp stamp = Form.Stamp;
    std::unique_ptr<QObject> current;
    for (int attempt = 1;; ++attempt) {
        try {
            SaveFormFile(root, Form.FileName, &stamp);
            return;
        } catch (const EFormFileChanged &) {
            if (attempt == MaxWriteAttempts)
                throw;
        }
        current = LoadFormFile(Form.FileName, nullptr, nullptr, &stamp);
        TOvUpdateSQL *same = nullptr;
        for (QObject *o : DesignComponents(current.get()))
            if (o->objectName().compare(Update->objectName(), Qt::CaseInsensitive) == 0)
                same = qobject_cast<TOvUpdateSQL *>(o);
        if (!same)
            throw Exception(
                QStringLiteral("%1 was changed by another program and has no update "
                               "object named %2 any more; nothing was written")
                    .arg(QDir::toNativeSeparators(Form.FileName), Update->objectName()));
        for (int i = 0; i < 4; ++i)
            same->SetSQLIndex(i, Update->GetSQLIndex(i));
        root = current.get();
    }
}

// No login dialog while a command runs: a connection goes on with the
// parameters as they are, and one that wants a password fails at once.
struct NoLoginPrompt
{
    NoLoginPrompt()
    {
        SetLoginDialogHook([](TOvDatabase *, TStrings *) { return true; });
    }
    ~NoLoginPrompt() { SetLoginDialogHook({}); }
};

// Connects the database DataSet reads its catalogue from; a password that
// nobody can be asked for is named with the ways to give it.
void connectForCatalogue(TOvDataSet *DataSet)
{
    TOvSession *session = Sessions().FindSession(DataSet->SessionName());
    TOvDatabase *db = session ? session->FindDatabase(DataSet->DatabaseName()) : nullptr;
    if (!db)
        return; // the editor reports it as it does in the designer
    try {
        db->Open();
    } catch (const EOvDatabaseError &e) {
        if (!e.NeedsPassword())
            throw;
        throw Exception(
            QStringLiteral("database %1 (%2) needs a password and there is nobody to ask for it:"
                           " give it in PGPASSWORD, in the password file (~/.pgpass, or the"
                           " file PGPASSFILE names), as PASSWORD=... in the form's Params of %1,"
                           " or in a connection string with --remote-database %1=...")
                .arg(db->DatabaseName(), RemoteDatabaseForDisplay(db->RemoteDatabase())));
    }
}

const char *const StatementNames[] = {"RefreshSQL", "ModifySQL", "InsertSQL", "DeleteSQL"};

// The field names of a dataset, as the editor and the update object know them.
QStringList datasetFieldNames(TOvDataSet *DataSet)
{
    QStringList names;
    if (auto *query = qobject_cast<TOvQuery *>(DataSet)) {
        TStringList info, tables, unresolved;
        DataSet->ParseFieldInfoFromSQL(query->SQL()->Text(), &info, &tables, &unresolved);
        for (int i = 0; i < info.Count(); ++i)
            names.append(info.Names(i));
        names += unresolved.toStringList();
    } else if (auto *table = qobject_cast<TOvTable *>(DataSet)) {
        TStringList list;
        DataSet->GetDBSession()->GetFieldNames(DataSet->DatabaseName(), table->TableName(), &list);
        names = list.toStringList();
    } else {
        DataSet->Open();
        TStringList list;
        DataSet->GetFieldNames(&list);
        names = list.toStringList();
    }
    return names;
}

// Checks the four statements of Update: every parameter names a field of
// the dataset (or OLD_ and a field), and the server accepts each statement
// (it is explained, never run). Returns the number of findings.
int checkStatements(TOvUpdateSQL *Update, QTextStream &Out)
{
    TOvDataSet *ds = Update->DataSet();
    const QStringList fields = datasetFieldNames(ds);
    int findings = 0;
    for (int i = 0; i < 4; ++i) {
        const QString text = Update->GetSQLIndex(i)->Text();
        if (text.trimmed().isEmpty())
            continue;
        const QString statement = QLatin1String(StatementNames[i]);
        TParams params;
        for (const QString &name : params.ParseSQL(text, false)) {
            QString field = name;
            if (field.startsWith(QLatin1String("OLD_"), Qt::CaseInsensitive))
                field = field.mid(4);
            if (!fields.contains(field, Qt::CaseInsensitive)
                && !fields.contains(name, Qt::CaseInsensitive)) {
                Out << "check: " << statement << ": parameter " << name << " names no field of "
                    << ds->objectName() << '\n';
                ++findings;
            }
        }
        // EXPLAIN compiles the statement against the catalogue without
        // running it; every parameter is bound to null.
        TOvQuery probe;
        probe.SetSessionName(ds->SessionName());
        probe.SetDatabaseName(ds->DatabaseName());
        TStringList sql;
        sql.Add(QStringLiteral("explain"));
        sql.AddStrings(*Update->GetSQLIndex(i));
        probe.SetSQL(&sql);
        try {
            probe.Open();
            probe.Close();
        } catch (const Exception &e) {
            QString message = e.Message();
            message.replace(QLatin1Char('\n'), QLatin1Char(' '));
            Out << "check: " << statement << ": " << message.trimmed() << '\n';
            ++findings;
        }
    }
    return findings;
}

} // namespace

int runTree(const QString &FormFile, QTextStream &Out, QTextStream &Err)
{
    try {
        LoadedForm form = loadForm(FormFile);
        bool flagged = false;
        {
            TRootSprig tree(form.Root.get());
            tree.AddItems(DesignComponents(form.Root.get()));
            printNode(&tree, 0, Out, flagged);
            for (TSprig *orphan : tree.Orphans()) {
                Out << "  " << orphan->Caption() << "  [problem] [unattached]\n";
                flagged = true;
            }
        }
        int warnings = 0;
        for (const TDeferredProperty &d : std::as_const(form.Deferred)) {
            if (qobject_cast<TOvDatabase *>(d.Component)) {
                Out << "warning: " << d.Component->objectName()
                    << ": the form stores a connected database (line " << d.Line << ")\n";
                ++warnings;
            }
        }
        for (const TFormWarning &w : std::as_const(form.Warnings)) {
            Out << "warning: " << w.Message << '\n';
            ++warnings;
        }
        for (QObject *o : DesignComponents(form.Root.get())) {
            auto *db = qobject_cast<TOvDatabase *>(o);
            if (!db)
                continue;
            for (const QString &entry : db->Params()->toStringList())
                if (isStoredPassword(entry)) {
                    Out << "warning: " << db->objectName()
                        << ": the form stores a password in Params\n";
                    ++warnings;
                    break;
                }
            if (RemoteDatabaseForDisplay(db->RemoteDatabase()) != db->RemoteDatabase()) {
                Out << "warning: " << db->objectName()
                    << ": the form stores a password in RemoteDatabase\n";
                ++warnings;
            }
        }
        Out.flush();
        return flagged || warnings ? ExitFindings : ExitOk;
    } catch (const Exception &e) {
        Out.flush();
        Err << "ovdesigner: " << e.Message() << '\n';
        return ExitError;
    }
}

int runGenSql(const GenSqlOptions &Options, QTextStream &Out, QTextStream &Err)
{
    try {
        LoadedForm form = loadForm(Options.FormFile);
        for (const TFormWarning &w : std::as_const(form.Warnings))
            Err << "ovdesigner: warning: " << w.Message << '\n';
        QObject *root = form.Root.get();
        TOvUpdateSQL *update = nullptr;
        for (QObject *o : DesignComponents(root))
            if (o->objectName().compare(Options.UpdateObject, Qt::CaseInsensitive) == 0)
                update = qobject_cast<TOvUpdateSQL *>(o);
        if (!update)
            throw Exception(QStringLiteral("%1 has no update object named %2")
                                .arg(Options.FormFile, Options.UpdateObject));
        if (!update->DataSet())
            throw Exception(QStringLiteral("%1 serves no dataset").arg(update->objectName()));

        // Remote databases given for this run; the form keeps its own.
        QList<QPair<TOvDatabase *, QString>> saved;
        for (const QString &pair : Options.RemoteOverrides) {
            const qsizetype eq = pair.indexOf(QLatin1Char('='));
            TOvDatabase *db = nullptr;
            for (QObject *o : DesignComponents(root))
                if (eq > 0 && o->objectName().compare(pair.left(eq), Qt::CaseInsensitive) == 0)
                    db = qobject_cast<TOvDatabase *>(o);
            if (!db)
                throw Exception(
                    QStringLiteral("--remote-database %1: no such database component").arg(pair));
            saved.append({db, db->RemoteDatabase()});
            db->SetRemoteDatabase(pair.mid(eq + 1));
        }
        for (const QString &file : createMissingEmbeddedDatabases(root))
            Err << "ovdesigner: created " << QDir::toNativeSeparators(file) << '\n';
        Err.flush();
        NoLoginPrompt noPrompt;
        connectForCatalogue(update->DataSet());

        // The editor's own entry point, as its component editor's verb runs it.
        HeadlessEditorUi ui;
        const bool accepted = EditUpdateSQL(update);
        if (!ui.FormShown)
            throw Exception(QStringLiteral("The UpdateSQL editor did not open"));
        if (!ui.Messages.isEmpty())
            throw Exception(ui.Messages.first().simplified());
        if (!ui.Accepted || !accepted)
            throw Exception(
                QStringLiteral("No statements were generated for %1").arg(update->objectName()));

        // Checked before anything is written: a statement that fails its
        // check is not stored.
        int findings = 0;
        QString checkReport;
        if (Options.Check) {
            QTextStream report(&checkReport);
            findings = checkStatements(update, report);
        }
        if (Options.Write && findings == 0) {
            for (const auto &[db, remote] : saved)
                db->SetRemoteDatabase(remote);
            // Connections made for the editor are not the form's to store;
            // what the form stores is held and written back as it was.
            for (QObject *o : DesignComponents(root))
                if (auto *db = qobject_cast<TOvDatabase *>(o))
                    db->Close();
            writeStatements(form, update);
            Out << "wrote " << update->objectName() << " into " << Options.FormFile << '\n';
        } else if (!Options.Write) {
            for (int i = 0; i < 4; ++i) {
                Out << "-- " << StatementNames[i] << '\n';
                QString text = update->GetSQLIndex(i)->Text();
                text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
                Out << text;
            }
        }
        Out << checkReport;
        if (Options.Check && findings == 0)
            Out << "check: ok\n";
        if (Options.Write && findings)
            Out << "not written: the check failed\n";
        Out.flush();
        return findings ? ExitFindings : ExitOk;
    } catch (const Exception &e) {
        Out.flush();
        Err << "ovdesigner: " << e.Message().simplified() << '\n';
        return ExitError;
    }
}

int runCheck(const CheckOptions &Options, QTextStream &Out, QTextStream &Err)
{
    try {
        TFormSourceMap sources;
        // Held-back Connected and Active stay held back: the check connects
        // on its own and runs no dataset.
        LoadedForm form = loadForm(Options.FormFile, &sources);
        for (const TFormWarning &w : std::as_const(form.Warnings))
            Err << "ovdesigner: warning: " << w.Message << '\n';
        TModuleCheck check(form.Root.get(), &sources);
        for (const QString &pair : Options.RemoteOverrides) {
            const qsizetype eq = pair.indexOf(QLatin1Char('='));
            if (eq <= 0)
                throw Exception(
                    QStringLiteral("--remote-database %1: DATABASE=REMOTE expected").arg(pair));
            check.SetRemoteDatabase(pair.left(eq), pair.mid(eq + 1));
        }
        check.Run();

        const QString file = Options.FormFile;
        if (Options.Json) {
            QJsonArray list;
            for (const TCheckProblem &p : check.Problems()) {
                list.append(QJsonObject{{QStringLiteral("file"), file},
                                        {QStringLiteral("line"), p.Line},
                                        {QStringLiteral("component"), p.ComponentName},
                                        {QStringLiteral("property"), p.Property},
                                        {QStringLiteral("severity"), severityName(p.Severity)},
                                        {QStringLiteral("message"), p.Message}});
            }
            Out << QJsonDocument(list).toJson(QJsonDocument::Indented);
            Err << check.Summary() << '\n';
        } else {
            for (const TCheckProblem &p : check.Problems()) {
                Out << file;
                if (p.Line > 0)
                    Out << '(' << p.Line << ')';
                Out << ": " << p.ComponentName;
                if (!p.Property.isEmpty())
                    Out << '.' << p.Property;
                Out << ": ";
                if (p.Severity != TCheckSeverity::Error)
                    Out << severityName(p.Severity) << ": ";
                Out << p.Message << '\n';
            }
            Out << check.Summary() << '\n';
        }
        Out.flush();
        Err.flush();
        if (check.NothingChecked())
            return ExitError;
        return check.Count(TCheckSeverity::Error) + check.Count(TCheckSeverity::Warning)
                   ? ExitFindings
                   : ExitOk;
    } catch (const Exception &e) {
        Out.flush();
        Err << "ovdesigner: " << e.Message().simplified() << '\n';
        return ExitError;
    }
}
