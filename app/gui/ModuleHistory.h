#pragma once

#include "FormDesigner.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

// Undo and redo for one designer. A step keeps, for each component it
// changed (the root counts as one), the component's form text before and
// after it; undoing a step gives back only those components their earlier
// text, in place: the objects stay, so open datasets and connections the
// step did not touch stay open, the selection stays and code-editor tabs
// stay bound. A component the step deleted is read back; one it added goes.
//
// Every change a pane announces (designChanged, componentsChanged) ends a
// step. The components it looks at are the selection, those a pane said it
// was about to change (TFormDesigner::aboutToChange), and those added or
// deleted; then, for each that changed, the components that refer to it (a
// rename changes their text) and those that referred to what it refers to
// (an update object taken by another dataset leaves its former one): every
// component a change touches belongs to its step. When none of them
// changed, the whole module is compared, so a change made anywhere is still
// caught. A component read back or added again takes its old place among
// the module's components, so an undo or redo gives the form its order.
//
// Connecting a database or opening a dataset is no step, and an undo or
// redo neither connects, opens nor closes anything. A stored
// Connected/Active/Prepared = True is part of a component's text: a
// component read back holds it, closed, as a form read does, and a save
// writes it again.
//
// The history keeps the save point: the module is modified exactly while
// undo and redo have not come back to the state last saved (or opened). A
// change that stores nothing (opening a dataset) leaves it as it was.
class TModuleHistory : public QObject
{
    Q_OBJECT
public:
    explicit TModuleHistory(TFormDesignerPtr Designer, int Depth = 100, QObject *Parent = nullptr);
    ~TModuleHistory() override;

    bool canUndo() const { return !m_undo.empty(); }
    bool canRedo() const { return !m_redo.empty(); }
    // What the next undo or redo does, e.g. "Move qTotals", "Set qOrders.SQL".
    QString undoName() const;
    QString redoName() const;
    int undoCount() const { return int(m_undo.size()); }
    // How many components the next undo or redo gives their texts back.
    int undoSize() const { return m_undo.empty() ? 0 : int(m_undo.back().Entries.size()); }
    int redoSize() const { return m_redo.empty() ? 0 : int(m_redo.back().Entries.size()); }

    // Marks the present state as the one saved: the module is no longer
    // modified, and is again when a change, undo or redo leaves it.
    void setClean();
    // Whether the module is in the state last saved (or opened).
    bool isClean() const { return m_clean == int(m_undo.size()); }

    // Undoes or redoes one step. Raises Exception when the texts cannot be
    // read back; the module is then unchanged.
    void undo();
    void redo();
    // Names the step the next change ends (a command that knows better than
    // what changed, such as "Paste").
    void nameNextStep(const QString &Name) { m_nextName = Name; }
    // Forgets every step.
    void clear();

signals:
    // A step was added, undone or redone.
    void changed();

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    struct Entry
    {
        int Id = 0;
        QString Before; // empty: the component did not exist
        QString After;
        int Index = -1;    // an added or deleted component's place among the root's children
        bool Side = false; // changed by the change of another (names no step)
    };
    struct Step
    {
        QString Name;
        std::vector<Entry> Entries;
    };
    struct Snapshot
    {
        int Id = 0;
        QString Text;
    };

    void takeBaseline();
    void snapshot(const QList<QObject *> &Components, bool Overwrite);
    void record();
    // Keeps what Component refers to now, and who refers to what.
    void setReferences(QObject *Component, const QList<QObject *> &Targets);
    void forget(QObject *Component);
    // The designer's modified mark follows the save point.
    void markModified();
    // Gives the step's components the text Before (undo) or After (redo).
    void apply(const Step &S, bool Undo);
    QObject *objectOf(int Id) const;
    int idOf(QObject *Component);
    QObject *componentNamed(const QString &Name) const;
    static QString nameOf(const Step &S);

    TFormDesignerPtr m_designer;
    int m_depth;
    bool m_restoring = false;
    bool m_baselineTaken = false;
    int m_nextId = 1;
    QString m_nextName;
    // The text of each component as of the last step, by object.
    QHash<QObject *, Snapshot> m_texts;
    QHash<int, QObject *> m_objects;
    QHash<QString, QObject *> m_names; // lower-case name -> component, for references
    // The module's components each refers to, and who refers to each, as
    // of the last step.
    QHash<QObject *, QList<QObject *>> m_references;
    QHash<QObject *, QSet<QObject *>> m_referrers;
    int m_clean = 0; // the undo steps at the save point; -1 when it is gone
    // Since the last step: components added, deleted (with their text), and
    // those a pane said it would change.
    QList<QPointer<QObject>> m_added;
    std::vector<Entry> m_removed;
    QList<QPointer<QObject>> m_touched;
    QHash<const QObject *, int> m_places; // of components about to change
    std::deque<Step> m_undo;
    std::deque<Step> m_redo;
};

// The top-level property blocks of one component's form text, by property
// name ("SQL.Strings", "Left", "object qX" for an owned component), each with
// its lines; the header line is kept as "object".
QHash<QString, QString> formTextBlocks(const QString &Text);
