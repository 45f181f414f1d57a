#pragma once

#include "FormDesigner.h"

#include "designide/DesignIntf.h"

#include <QHash>
#include <QMetaProperty>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// The designer's edits of a data module that do not need a window: naming,
// adding, deleting and renaming components, their design positions, the
// clipboard text and reloading a module in place. The surface and the
// main window bind these to mouse, keys and menus.

// Whether Component is a component of a form file: named, and of a class a
// form file can name. Helper objects Qt or a component keep are not.
bool isDesignComponent(const QObject *Component);

// Whether Component is a persistent field: the module owns it, but it
// belongs to its dataset, and goes where the dataset goes.
bool isPersistentField(const QObject *Component);

// The writable published references of each class, looked up once.
using TReferenceCache = QHash<const QMetaObject *, QList<QMetaProperty>>;
// The components of Component's module its published references point at,
// each once, itself left out.
QList<QObject *> referencedComponents(const QObject *Component, TReferenceCache &Known);

// The components the data-module surface shows: the root's own components
// but persistent fields, in creation order.
QList<QObject *> surfaceComponents(const QObject *Root);

// The design position of a component on the surface (Left/Top), stored with
// the form; a component without one reports Fallback.
QPoint designPosition(const QObject *Component, QPoint Fallback = {});
void setDesignPosition(QObject *Component, QPoint Position);
// Where the Index-th component without a stored position is shown: in rows
// of eight from the top left.
QPoint defaultDesignPosition(int Index);

// How far a pasted group moves right and down, each time, off components it
// would cover: two steps of the surface's grid, so copies stay on it.
constexpr int PasteOffset = 16;
// What a component takes on the surface, from its position: its box and,
// centred below it, its name; a pasted one keeps off that of every other.
constexpr QRect PasteFootprint(-34, 0, 96, 48);

// Where a component placed without a position (a palette glyph's Enter)
// goes: the first place of InView, in rows from its top left, where it
// covers no component of Root nor its name; below the view when it is full.
QPoint freeDesignPosition(const QObject *Root, const QRect &InView);

// Whether Name can name a component: the form files' rule (IsValidComponentName).
bool isValidComponentName(const QString &Name);

// The first free default name for a component of Class in Root: the class
// name without its leading "T" and a number from 1 on ("OvQuery1"), compared
// ignoring case with every name in the module.
QString uniqueComponentName(const QObject *Root, TComponentClass Class);

// Creates a component of Class owned by the designer's root, with a unique
// default name, at Position; selects it and announces the change. Raises
// Exception when the class cannot be created.
QObject *addComponent(TFormDesigner &Designer, TComponentClass Class, QPoint Position);

// How alignComponents lines components up.
enum class TAlignment { Lefts, Rights, Tops, Bottoms, HorizontalCentres, VerticalCentres };

// Lines up the surface components among Components (at least two) with the
// first of them, as the selection's first is the one others follow; returns
// whether any moved. Every component's box has the same size: lining up
// lefts, rights or centres is one and the same.
bool alignComponents(TFormDesigner &Designer, const QList<QObject *> &Components,
                     TAlignment Alignment);
// Spaces the surface components among Components (at least three) evenly
// between the outermost two, across (Horizontal) or down; returns whether
// any moved.
bool spaceEvenly(TFormDesigner &Designer, const QList<QObject *> &Components,
                 Qt::Orientation Orientation);

// Renames Component; raises Exception, leaving it as it was, when NewName is
// not a valid name or another component of the module has it.
void renameComponent(TFormDesigner &Designer, QObject *Component, const QString &NewName);

// Deletes the selected components the surface shows (the root is never
// deleted); returns how many went. The components that refer to them are
// announced as about to change first: they lose the reference.
int deleteSelection(TFormDesigner &Designer);

// The clipboard text of Components (components of one module's root): the
// form-file text of each with the components it owns and, for a dataset,
// its persistent fields, in module order, with references to the module's
// other components by name.
QString componentsText(const QList<QObject *> &Components);

// Pastes form-file text made by componentsText into the designer's module.
// A pasted component whose name is taken gets a default name, and the
// references between pasted components follow the new names; references to
// components the module lacks are dropped. The pasted components keep their
// places relative to each other (those without one are laid out in rows);
// as a group they move into InView (design positions a person sees, when
// given) if they fit, then right and down by PasteOffset until none covers
// a component of the module or its name (PasteFootprint), so a copy never
// hides its original and each further paste lands further on, starting again at InView's top
// left at its edge. Selects the pasted components and returns them. Raises
// Exception (with the line) when Text is no component text; the module is
// then unchanged.
QList<QObject *> pasteComponentsText(TFormDesigner &Designer, const QString &Text,
                                     const QRect &InView = {});

// Text read on its own (a paste, an undo) refers to the module's components
// through stand-ins: empty components of the same class and name read with
// it. Points every reference of Components, and of the objects they own,
// that names a key of StandIns at the component it stands for. Each class's
// references are looked up once, so the cost grows with the components
// only. Setting a reference may raise (a component refuses it); the ones
// set until then stay set.
void pointAtModule(const QList<QObject *> &Components, const QHash<QObject *, QObject *> &StandIns);

// Replaces the root's properties and components with those of form text
// Text, keeping the root object itself (the panes and editors hold it).
// The text is read whole first: on a fault Exception is raised and the
// module is unchanged. Held-back properties (Connected, Active) are applied
// afterwards; their failures are returned as messages.
QStringList reloadModuleText(TFormDesigner &Designer, const QString &Text);
