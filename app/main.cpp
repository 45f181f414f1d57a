// ovdesigner: the host that loads design-time packages. Without a command it
// opens the designer's main window on a form file (or a new data module); on
// the command line it reads, lints and generates data modules with the
// designer's own code, or lists what the packages registered.
#include "FormCommands.h"
#include "MainWindow.h"
#include "ModuleSurface.h"

#include "designide/FormFile.h"
#include "designide/PackageLoader.h"
#include "designide/Registrations.h"
#include "orvlib/DB.h"
#include "rtl/RuntimeDir.h"
#include "rtl/SysUtils.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <dlfcn.h>
#include <unistd.h>

namespace {

const char HelpText[] = R"(Usage: ovdesigner [--package FILE] [FORM]
       ovdesigner [--package FILE] COMMAND

Without a command, opens the designer's window on the form file FORM, or on
a new data module. It needs a display: without one (no DISPLAY or
WAYLAND_DISPLAY, and no QT_QPA_PLATFORM chosen) it says so in one line and
exits with status 2; the commands below work without a display.
A missing SQLite database file of the form is created from the SQL script
of the same name beside it, as for --gensql.
  --quit-after-paint
      Quits once the window has been painted the first time and prints
      "first paint: N ms" (from the start of the program).

Commands:
  --tree FORM
      Prints the structure view of the form file FORM, one node a line,
      indented by depth; a flagged node ends in "  [problem]". Then one
      "warning: ..." line for each connected database or password the form
      stores. Exit status 1 when a node is flagged or a warning is given.
  --gensql FORM UPDATEOBJECT [--write] [--check] [--remote-database DB=REMOTE]
      Runs the UpdateSQL editor on UPDATEOBJECT without showing it: the
      defaults it opens with (the first table of the query, the dataset's
      fields), Select Primary Keys, Generate SQL. Prints the four statements
      (each after a "-- RefreshSQL", "-- ModifySQL", "-- InsertSQL" or
      "-- DeleteSQL" line), or with --write stores them in FORM (replaced
      atomically, the previous version kept as FORM.~dfm). Only the write
      itself locks the form: runs that write one form follow each other,
      others go on, and when another run or program changed the form since
      it was read, the statements are written into the form as it is then.
      --check prepares each statement on the database and checks that every
      parameter names a field of the dataset (or OLD_ and a field); each
      mismatch is one "check: STATEMENT: ..." line, the exit status is 1,
      and --write writes nothing.
      --remote-database DB=REMOTE connects the database component DB to
      REMOTE for this run (the form keeps its own; may be repeated).
      A missing SQLite database file is created from the SQL script of the
      same name beside it (demo.db from demo.sql).
  --check FORM [--format text|json] [--remote-database DB=REMOTE]
      Checks the data module FORM against its databases: every dataset's
      SQL (macros expanded), every update object's statements and every
      stored procedure are prepared on the server, never run; tables,
      columns, indexes, persistent fields, field links and procedure
      parameters are matched with the catalogue; session and database
      names must resolve. One line per finding,
      "FORM(LINE): Component.Property: message" (a warning or information
      says so first), then a summary line; --format json prints a JSON array of
      {file, line, component, property, severity, message} instead (the
      summary goes to standard error). The form is not changed, no
      database is created or changed, and no password is asked for: a
      database that cannot be reached is one finding and its datasets are
      noted as not checked. Exit status 0 when nothing is wrong (information
      does not count), 1 when something is, 2 when the module could not be
      checked at all.
  --list
      Loads the package and lists what it registered.
  --help
      Prints this text.

Options:
  --package FILE
      The design-time package module to load (may be repeated). Default:
      DclOrv240.so in the lib folder beside the program's bin folder.

Exit status: 0 done, 1 findings, 2 error (one line on standard error;
nothing is written), also when the output cannot be written.
)";

QString defaultPackage()
{
    const QDir bin(QCoreApplication::applicationDirPath());
    return QDir::cleanPath(bin.filePath(QStringLiteral("../lib/DclOrv240.so")));
}

int listRegistrations(const QStringList &Packages, QTextStream &Out, QTextStream &Err)
{
    for (const QString &file : Packages) {
        const TLoadedPackage *pkg = findPackage(QFileInfo(file).completeBaseName());
        if (!pkg)
            continue;
        Out << "Package " << pkg->Name << " (" << pkg->Description << ") from " << pkg->FileName
            << "\n  requires: " << pkg->Requires.join(QStringLiteral(", "))
            << "\n  units: " << pkg->Units.join(QStringLiteral(", ")) << "\n";
        using SettingsFileProc = const char *(*)();
        if (auto settingsFile
            = reinterpret_cast<SettingsFileProc>(dlsym(pkg->Handle, "OvDesignSettingsFileName"))) {
            if (const char *ini = settingsFile())
                Out << "  design settings: " << QString::fromUtf8(ini) << "\n";
        }
        if (auto settingsNotice
            = reinterpret_cast<SettingsFileProc>(dlsym(pkg->Handle, "OvDesignSettingsNotice"))) {
            if (const char *notice = settingsNotice())
                Err << "ovdesigner: " << QString::fromUtf8(notice) << "\n";
        }
    }
    const Registrations &regs = registrations();
    for (const QString &page : regs.palettePages()) {
        Out << "Palette page \"" << page << "\":";
        for (TComponentClass c : regs.paletteClasses(page))
            Out << ' ' << c->className();
        Out << "\n";
    }
    Out << "Registrations in order:\n";
    int n = 0;
    for (const QString &line : regs.describeAll())
        Out << QString::asprintf("  %2d. ", ++n) << line << "\n";
    return ExitOk;
}

// Quits after the first paint of the watched widget, printing the time since
// Start: the figure the start-up benchmark reads.
class FirstPaintWatch : public QObject
{
public:
    FirstPaintWatch(QWidget *Watched, bool Active, const QElapsedTimer &Start, QTextStream &Out)
        : m_start(Start)
        , m_out(Out)
    {
        if (Active)
            Watched->installEventFilter(this);
    }

    bool eventFilter(QObject *Watched, QEvent *Event) override
    {
        if (Event->type() == QEvent::Paint && !m_done) {
            m_done = true;
            Watched->removeEventFilter(this);
            // Queued: runs once this paint has finished.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_out << "first paint: " << m_start.elapsed() << " ms\n";
                    m_out.flush();
                    QApplication::quit();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    const QElapsedTimer &m_start;
    QTextStream &m_out;
    bool m_done = false;
};

// The window of the designer on Form (a new data module when empty). With
// QuitAfterPaint, quits after the first paint and prints the time since Start.
int runDesigner(const QString &Form, bool QuitAfterPaint, const QElapsedTimer &Start,
                QTextStream &Out)
{
    TMainWindow window;
    if (Form.isEmpty() || !window.openForm(Form))
        window.newModule();
    FirstPaintWatch watch(window.surface()->viewport(), QuitAfterPaint, Start, Out);
    window.show();
    return QApplication::exec();
}

} // namespace

int main(int argc, char **argv)
{
    QElapsedTimer start;
    start.start();
    // The window needs a display; the commands do not.
    const bool hasDisplay = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
                            || !qEnvironmentVariableIsEmpty("DISPLAY")
                            || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (!hasDisplay)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ensureRuntimeDir();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ovdesigner"));

    // Standard output unbuffered below the stream's own buffer, so that a
    // failed write is seen with its reason.
    QFile output;
    output.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    QTextStream out(&output);
    QTextStream err(stderr);
    auto usageError = [&](const QString &Message) {
        err << "ovdesigner: " << Message << " (see --help)\n";
        return ExitError;
    };
    // The exit status with the output's fate in it: output that did not
    // reach its file (a full disk, a closed pipe) is an error, whatever the
    // command did.
    auto finish = [&](int Status) {
        out.flush();
        if (out.status() == QTextStream::Ok && output.error() == QFileDevice::NoError)
            return Status;
        err << "ovdesigner: cannot write the output: "
            << (output.error() != QFileDevice::NoError ? output.errorString()
                                                       : QStringLiteral("the write failed"))
            << "\n";
        err.flush();
        return int(ExitError);
    };

    // The arguments, read by hand: the commands take positional operands
    // and the output must not depend on a parser's wording.
    QStringList packages;
    QString command;
    QStringList operands;
    GenSqlOptions gen;
    QString format;
    bool quitAfterPaint = false;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            out << HelpText;
            return finish(ExitOk);
        } else if (a == QLatin1String("--package") || a == QLatin1String("--remote-database")) {
            if (i + 1 >= args.size())
                return usageError(QStringLiteral("%1 needs a value").arg(a));
            (a == QLatin1String("--package") ? packages : gen.RemoteOverrides).append(args[++i]);
        } else if (a == QLatin1String("--format")) {
            if (i + 1 >= args.size())
                return usageError(QStringLiteral("--format needs a value"));
            format = args[++i];
            if (format != QLatin1String("text") && format != QLatin1String("json"))
                return usageError(QStringLiteral("--format is text or json"));
        } else if (a == QLatin1String("--quit-after-paint")) {
            quitAfterPaint = true;
        } else if (a == QLatin1String("--tree") || a == QLatin1String("--gensql")
                   || a == QLatin1String("--list")) {
            if (!command.isEmpty())
                return usageError(QStringLiteral("one command at a time"));
            command = a;
        } else if (a == QLatin1String("--write")) {
            gen.Write = true;
        } else if (a == QLatin1String("--check")) {
            gen.Check = true;
        } else if (a.startsWith(QLatin1String("--"))) {
            return usageError(QStringLiteral("unknown option %1").arg(a));
        } else {
            operands.append(a);
        }
    }
    // --check is a command of its own, and a switch of --gensql.
    if (command.isEmpty() && gen.Check) {
        command = QStringLiteral("--check");
        gen.Check = false;
    }
    if (command == QLatin1String("--check") && operands.size() != 1)
        return usageError(QStringLiteral("--check takes one form file"));
    if (!format.isEmpty() && command != QLatin1String("--check"))
        return usageError(QStringLiteral("--format goes with --check"));
    if (command == QLatin1String("--tree") && operands.size() != 1)
        return usageError(QStringLiteral("--tree takes one form file"));
    if (command == QLatin1String("--gensql") && operands.size() != 2)
        return usageError(QStringLiteral("--gensql takes a form file and an update object"));
    if (command != QLatin1String("--gensql") && (gen.Write || gen.Check))
        return usageError(QStringLiteral("--write goes with --gensql"));
    if (command != QLatin1String("--gensql") && command != QLatin1String("--check")
        && !gen.RemoteOverrides.isEmpty())
        return usageError(QStringLiteral("--remote-database goes with --gensql or --check"));
    if (command == QLatin1String("--list") && !operands.isEmpty())
        return usageError(QStringLiteral("unexpected argument %1").arg(operands.first()));
    if (command.isEmpty() && operands.size() > 1)
        return usageError(QStringLiteral("the designer opens one form file"));
    if (!command.isEmpty() && quitAfterPaint)
        return usageError(QStringLiteral("--quit-after-paint goes with the designer's window"));
    if (command.isEmpty() && !hasDisplay) {
        err << "ovdesigner: no display to open the designer's window on; the command-line "
               "forms work without one: ovdesigner --tree FORM, ovdesigner --gensql FORM "
               "UPDATEOBJECT, ovdesigner --check FORM (see --help)\n";
        return ExitError;
    }
    if (packages.isEmpty())
        packages.append(defaultPackage());

    // The environment's own classes a form may name besides the palette's.
    RegisterClasses({&TDataModule::staticMetaObject, &TDataSource::staticMetaObject});

    int status = ExitOk;
    try {
        for (const QString &file : packages)
            loadPackage(file);
    } catch (const Exception &e) {
        err << "ovdesigner: " << e.Message() << "\n";
        return ExitError;
    }
    if (command == QLatin1String("--tree")) {
        status = runTree(operands[0], out, err);
    } else if (command == QLatin1String("--gensql")) {
        gen.FormFile = operands[0];
        gen.UpdateObject = operands[1];
        status = runGenSql(gen, out, err);
    } else if (command == QLatin1String("--check")) {
        CheckOptions check;
        check.FormFile = operands[0];
        check.Json = format == QLatin1String("json");
        check.RemoteOverrides = gen.RemoteOverrides;
        status = runCheck(check, out, err);
    } else if (command == QLatin1String("--list")) {
        status = listRegistrations(packages, out, err);
    } else {
        status = runDesigner(operands.value(0), quitAfterPaint, start, out);
    }
    status = finish(status);
    try {
        unloadAllPackages();
    } catch (const Exception &e) {
        err << "ovdesigner: " << e.Message() << "\n";
        err.flush();
        return ExitError;
    }
    return status;
}
