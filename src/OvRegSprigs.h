#pragma once

#include "designide/Sprigs.h"

#include <QString>

// Structure-view nodes: sessions at the top, each database under its
// session, each dataset under its database. Where the chain names something
// that has no component of its own, a transient node stands in for it: the
// default session, or a database that datasets name but no component
// provides. Dropping a database onto a session node, or a dataset onto a
// database node, rewrites the component's SessionName and DatabaseName.
//
// Placement looks keys up among the direct children of one node, and only
// among nodes of the kind it means: a session key finds session nodes alone,
// so another component that happens to carry a session's name never becomes
// the parent of databases.

// The key of the session node serving SessionName: "<DefaultSession>" for an
// empty name or the default session's name (letter case ignored), otherwise
// the name unchanged.
QString SessionSprigName(const QString &SessionName);
// The key of the implied-database node for DatabaseName:
// "<ImpliedDatabase>." followed by the name unchanged.
QString ImpliedDatabaseSprigName(const QString &DatabaseName);

class TOvSessionSprig : public TComponentSprig
{
    Q_OBJECT

public:
    using TComponentSprig::TComponentSprig;
    bool AnyProblems() override;
    QString ProblemHint() override;
    // The session's SessionName: databases find their session node by it.
    QString Name() override;
    QString Caption() override;
};

// Stands for the runtime library's default session, which has no component.
class TOvDefaultSessionSprig : public TTransientSprig
{
    Q_OBJECT

public:
    using TTransientSprig::TTransientSprig;
    QString UniqueName() override;
    bool Transient() override;
    TComponentClass ItemClass() override;
    QString Caption() override;
};

class TOvDatabaseSprig : public TComponentSprig
{
    Q_OBJECT

public:
    using TComponentSprig::TComponentSprig;
    bool AnyProblems() override;
    // Flagged: no DatabaseName; unattached: the session its SessionName names
    // has no node.
    QString ProblemHint() override;
    // The database's DatabaseName: datasets find their database node by it.
    QString Name() override;
    QString Caption() override;
    bool DragOverTo(TSprig *AItem) override;
    // Moves the database to the target session and its datasets with it; a
    // failure part-way leaves the database and every dataset as they were.
    bool DragDropTo(TSprig *AItem) override;
    static bool PaletteOverTo(TSprig *AParent, TComponentClass AClass);
    void FigureParent() override;
};

// Stands for a database that datasets name but no database component
// provides. Placement creates it (with no item) the first time a dataset of
// its session needs it; the datasets of that session naming the same
// database share it.
class TOvImpliedDatabaseSprig : public TComponentSprig
{
    Q_OBJECT

public:
    explicit TOvImpliedDatabaseSprig(QObject *AItem = nullptr);
    QString UniqueName() override;
    bool Transient() override;
    bool AnyProblems() override;
    QString ProblemHint() override;
    TComponentClass ItemClass() override;
    QString Caption() override;
    bool DragOverTo(TSprig *AItem) override;
    // Moves the node, and so the datasets under it, to the target session;
    // a failure part-way leaves every dataset as it was.
    bool DragDropTo(TSprig *AItem) override;
    void FigureParent() override;

    // The session name of the datasets under the node, spelled as the dataset
    // that created the node spells it; a drop onto a session changes it.
    QString FSessionName;
    // The database name of the datasets under the node; fixed at creation.
    QString FDatabaseName;
};

class TOvUpdateSQLSprig : public TComponentSprig
{
    Q_OBJECT

public:
    using TComponentSprig::TComponentSprig;
    // Flagged while no modify, insert or delete statement exists; the refresh
    // statement does not count.
    bool AnyProblems() override;
    QString ProblemHint() override;
};

class TOvDataSetSprig : public TDataSetSprig
{
    Q_OBJECT

public:
    using TDataSetSprig::TDataSetSprig;
    bool AnyProblems() override;
    // The first failing test of AnyProblems in its order, or, unattached, the
    // SessionName that names no session of the module.
    QString ProblemHint() override;
    bool DragOverTo(TSprig *AItem) override;
    // Gives the dataset the target's DatabaseName and SessionName. Either
    // both are written or, when the second setter raises, neither stays.
    bool DragDropTo(TSprig *AItem) override;
    static bool PaletteOverTo(TSprig *AParent, TComponentClass AClass);
    // Follows the session of the parent database node. Only a real
    // difference is written: names equal but for letter case, or an empty
    // name and the default session's name, are the same session.
    void Reparent() override;
    void FigureParent() override;
};

class TOvTableSprig : public TOvDataSetSprig
{
    Q_OBJECT

public:
    using TOvDataSetSprig::TOvDataSetSprig;
    bool AnyProblems() override;
    QString ProblemHint() override;
    QString Caption() override;
};

class TOvQuerySprig : public TOvDataSetSprig
{
    Q_OBJECT

public:
    using TOvDataSetSprig::TOvDataSetSprig;
    bool AnyProblems() override;
    QString ProblemHint() override;
    // The first line of the SQL, followed by "..." when there are more.
    QString Caption() override;
};

class TOvStoredProcSprig : public TOvDataSetSprig
{
    Q_OBJECT

public:
    using TOvDataSetSprig::TOvDataSetSprig;
    bool AnyProblems() override;
    QString ProblemHint() override;
    QString Caption() override;
};
