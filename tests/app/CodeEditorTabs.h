#pragma once

#include "MainWindow.h"

#include "designide/ComponentEditors.h"
#include "designide/Registrations.h"
#include "orvlib/OvConsts.h"
#include "orvlib/OvDlgsForms.h"
#include "rtl/Forms.h"
#include "rtl/UiServices.h"

#include <gtest/gtest.h>

// Opens Query's SQL in a code-editor tab of Window as a person does: its
// Edit SQL verb, and the dialog's code-editor button pressed through Ui.
inline void openSqlInCodeEditor(TMainWindow &Window, QObject *Query, ScriptedUi &Ui)
{
    const auto editor
        = registrations().componentEditorFor(Query->metaObject()).Create(Query, Window.designer());
    for (int i = 0; i < editor->GetVerbCount(); ++i)
        if (editor->GetVerb(i) == SEditSQLVerb()) {
            Ui.onModal([](TForm &F) { qobject_cast<TOvSQLEditDlg *>(&F)->btCodeEditorClick(); });
            editor->ExecuteVerb(i);
            return;
        }
    ADD_FAILURE() << Query->objectName().toStdString() << " has no Edit SQL verb";
}
