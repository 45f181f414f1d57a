#pragma once

#include "designide/DesignIntf.h"

#include <QString>

class QObject;
class TStrings;

// A string-list property of a component opened in the code editor as a text
// module. The module is kept by the environment's strings file system, which
// writes its text back into the property when the module is saved.

// The module name of property PropName of Component in Designer:
// extension "." root name "." component name "." property. Empty when the
// component is not owned by the designer's root or the root has no name.
QString StringsModuleName(const IDesignerPtr &Designer, const QObject *Component,
                          const QString &PropName);

// Opens List's text as a new text module tied to the property and shows it,
// marked modified when Modified is set. A property without a module name
// raises instead: a module under an empty name would be shared by every such
// property, and saving it could write into another component.
void ShowStringsInCodeEditor(const IDesignerPtr &Designer, QObject *Component,
                             const QString &PropName, TStrings *List, bool Modified);
// Closes the property's open module, asking to save it when it is modified.
// True when editing may go on (no module, or it closed); false when the
// module stays open.
bool CloseStringsModule(const IDesignerPtr &Designer, QObject *Component, const QString &PropName);
// Brings the property's open module to front; false when there is none.
bool ShowExistingStringsModule(const IDesignerPtr &Designer, QObject *Component,
                               const QString &PropName);
// Whether the Alt key is held down at the moment of the call.
bool IsAltKeyDown();
