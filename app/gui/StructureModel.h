#pragma once

#include "FormDesigner.h"

#include "designide/DesignIntf.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>
#include <QSet>

#include <memory>
#include <vector>

class QMimeData;
class TRootSprig;
class TSprig;

// The structure view's model: the node tree of one module as a Qt item
// model. The module's root is the one top-level row; below it the nodes as
// they placed themselves, then the nodes no parent took (flagged, since the
// component names something the module lacks).
//
// The model keeps a row of its own for each node it has shown, so that a
// rebuild of the node tree changes the model in place: a row stays for as
// long as its node shows the same component (or, without one, the same name
// under the same parent), and only the rows that came or went are announced.
// The view keeps its expanded branches and its selection across a rebuild,
// and a value change that moves nothing costs one walk over the rows made.
// The rows below a node are made when first asked for (the children of an
// open branch, a node looked up): opening a module of thousands of
// components makes the rows the view shows. Captions are not compared
// (reading every caption would cost more than the rebuild): a view repaints
// after rebuilt().
class TStructureModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    // Extra roles: the node (TSprig *), whether the node itself is flagged,
    // and whether its component is marked by a module check.
    enum Roles { SprigRole = Qt::UserRole + 1, ProblemRole, CheckProblemRole };

    explicit TStructureModel(QObject *Parent = nullptr);
    ~TStructureModel() override;

    // Builds the tree of Designer's module (none for null).
    void setDesigner(const TFormDesignerPtr &Designer);
    TRootSprig *rootSprig() const { return m_root.get(); }

    // The tree built anew from the module's components (after components
    // were added, deleted or renamed), or from the same components (after a
    // value changed).
    void rebuildComponents();
    void rebuild();

    TSprig *sprigOf(const QModelIndex &Index) const;
    QModelIndex indexOf(TSprig *Sprig) const;
    // The node showing Component, or null.
    TSprig *sprigOfItem(const QObject *Component) const;
    // Whether Sprig is a node of the current build.
    bool isCurrent(const TSprig *Sprig) const;
    // Counts builds: a node pointer is valid only in the build it came from.
    int build() const { return m_build; }

    // Whether Sprig is flagged, or hides a flagged node below it.
    bool problemsBelow(const TSprig *Sprig) const;

    // Marks the components a module check found wrong, each with the text
    // its tooltip adds; marks stay across rebuilds until replaced. An empty
    // map clears them.
    void setCheckMarks(const QHash<const QObject *, QString> &Marks);
    bool isCheckMarked(const QObject *Component) const { return m_checkMarks.contains(Component); }

    // The text that explains a flag to the person.
    static QString problemHint(TSprig *Sprig, bool Unattached);

    // Drag and drop through the nodes' protocol, with the tree rebuilt when
    // a drop changed something. Errors raised by a node are shown through
    // the message seam; the tree is rebuilt either way.
    bool canDrop(TSprig *Dragged, TSprig *Target) const;
    bool drop(TSprig *Dragged, TSprig *Target);
    bool canDropClass(TComponentClass Class, TSprig *Target) const;
    // A component of Class dragged from the palette and let go on Target:
    // the new component (default name, below the others on the surface)
    // goes onto the target as if its node had been dragged there. Returns
    // it, or null when the target does not take the class. Errors are shown.
    QObject *dropClass(TComponentClass Class, TSprig *Target);

    // A key for Sprig that finds its node again after a rebuild: its
    // component, or for a node without one, its parent's key and its unique
    // name.
    static QString keyOf(TSprig *Sprig);
    // The node of Key in the current build, or null.
    TSprig *findKey(const QString &Key) const;

    // The MIME data a drag of Sprig carries, and the node it names while that
    // node is one of the current build (null otherwise).
    QMimeData *mimeDataFor(TSprig *Sprig) const;
    TSprig *sprigFromMimeData(const QMimeData *Data) const;

    QModelIndex index(int Row, int Column, const QModelIndex &Parent = {}) const override;
    QModelIndex parent(const QModelIndex &Index) const override;
    int rowCount(const QModelIndex &Parent = {}) const override;
    // Without making the rows below Parent.
    bool hasChildren(const QModelIndex &Parent = {}) const override;
    int columnCount(const QModelIndex &Parent = {}) const override;
    QVariant data(const QModelIndex &Index, int Role) const override;
    Qt::ItemFlags flags(const QModelIndex &Index) const override;

signals:
    // Around every rebuild: in between, the model announces the rows that
    // come and go, and a view should not act on its own.
    void aboutToRebuild();
    void rebuilt();

private:
    struct Row;
    // A change of one row's children found by a rebuild: the rows from
    // First to Last (of the old list) go, the nodes Added come in their place.
    struct Edit
    {
        Row *Parent;
        int First;
        int Last;
        QList<TSprig *> Added;
        QList<bool> AddedUnattached;
    };

    void resetTree(bool NewComponents);
    // Builds the tree (NewComponents or none yet) or rebuilds it; errors
    // raised by a node are returned.
    QString buildTree(bool NewComponents);
    void resetRows();
    void updateRows();
    // A row without the rows below it (they are made when first asked for).
    std::unique_ptr<Row> makeRow(TSprig *Sprig, Row *Parent, int RowNumber, bool Unattached);
    // Makes the rows below R unless they are made. The rows were the model's
    // all along: nothing is announced.
    void makeChildRows(Row *R) const;
    // The nodes R shows as rows below it: its node's children, and below
    // the root's row, the unattached nodes after them.
    class Children;
    Children childSprigs(const Row *R) const;
    bool shows(const Row *R, TSprig *Sprig) const;
    void bind(Row *R, TSprig *Sprig, bool Unattached);
    void diffRows(Row *R, std::vector<Edit> &Edits);
    void dropSprigs(Row *R);
    void applyEdit(const Edit &E);
    // Whether the node of R is flagged itself.
    bool flaggedRow(const Row *R) const;
    // Recomputes the flags of the rows made below R and R's; with Announce,
    // tells of the rows whose flags changed.
    void updateMarks(Row *R, bool Announce);
    // Whether Sprig (unattached or not) bears a problem or hides one.
    bool problemsBelow(TSprig *Sprig, bool Unattached) const;
    bool problemsBelowRow(const Row *R) const;
    Row *rowOf(const QModelIndex &Index) const;
    QModelIndex indexOfRow(const Row *R) const;
    // The row of Sprig, made (with the rows on its way) when not made yet;
    // null for a node not in the tree.
    Row *rowOfSprig(TSprig *Sprig) const;
    // The rows made: of each node, indexed when first asked after a rebuild,
    // and of each component, indexed when first asked after the rows were
    // made (and kept up to date as rows come and go).
    std::vector<Row *> allRows() const;
    const QHash<const TSprig *, Row *> &rowsBySprig() const;
    const QHash<const QObject *, Row *> &rowsByItem() const;
    // The nodes of the current tree, and the node of each component, read
    // from the tree when first asked after a build.
    void indexSprigs() const;

    TFormDesignerPtr m_designer;
    std::unique_ptr<TRootSprig> m_root;
    std::unique_ptr<Row> m_top; // the root's row
    mutable QHash<const TSprig *, Row *> m_rowOfSprig;
    mutable bool m_rowOfSprigValid = false;
    mutable QHash<const QObject *, Row *> m_rowOfItem;
    mutable bool m_rowOfItemValid = false;
    mutable QSet<const TSprig *> m_sprigs;
    mutable QHash<const QObject *, TSprig *> m_sprigOfItem;
    mutable bool m_sprigsValid = false;
    // A rebuild found a branch whose rows were never made gain its first
    // node or lose its last: the view lays the tree out again.
    bool m_relayout = false;
    // The glyph of each class, read once (and again after a package came or went).
    mutable QHash<TComponentClass, QIcon> m_icons;
    QHash<const QObject *, QString> m_checkMarks;
    int m_build = 0;
    int m_notifier = 0;
    bool m_dropping = false;
};
