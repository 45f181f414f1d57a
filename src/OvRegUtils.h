#pragma once

#include "designide/DesignIntf.h"

#include <QString>
#include <QVariant>

class TOvDataSet;
class TOvDatabase;
class TOvMacroQuery;
class TOvQuery;
class TOvStoredProc;

// Small routines of the registration unit shared by editors and nodes.

// Writes the published property Name of Component through its setter (the
// most derived class's, as the Object Inspector would); raises when the
// component has no such property or refuses the value.
void writeProperty(QObject *Component, const char *Name, const QVariant &Value);

// Whether the dataset's database exists in its session and is connected.
// Never connects and never raises for an unknown session.
bool IsDataSetDatabaseConnected(TOvDataSet *DataSet);

// The name of the designer's root: the form or data module being designed.
QString DesignerRootName(const IDesignerPtr &Designer);

// The collection editor on the query's parameters: existing parameters can
// be edited, none added, deleted or moved.
void EditQueryParams(const IDesignerPtr &Designer, TOvQuery *Query);
// The collection editor on the macro query's macros, edit only.
void EditQueryMacros(const IDesignerPtr &Designer, TOvMacroQuery *Query);
// The collection editor on the stored procedure's parameters. A procedure
// without parameters is prepared first, so the server describes them; when
// the server does (its database connected, descriptions available) they can
// only be edited, otherwise they can be added and deleted by hand. A
// prepared procedure is unprepared afterwards.
void EditStoredProcParams(const IDesignerPtr &Designer, TOvStoredProc *StoredProc);
// The database of the procedure's DatabaseName in its session; raises for
// a session that does not exist.
TOvDatabase *FindStoredProcDatabase(TOvStoredProc *StoredProc);
