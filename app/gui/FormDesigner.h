#pragma once

#include "designide/DesignIntf.h"
#include "designide/FormFile.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

// The designer of one data module open in the main window. It owns the
// module's root, keeps the selection and the modified state, and tells the
// panes (surface, Object Inspector, structure view, code editor, data
// preview) what changed so each can refresh itself. Panes change the module
// and then call Modified() (a value changed) or componentsChanged() (a
// component was added, deleted, renamed or moved), never each other.
class TFormDesigner : public QObject, public IDesigner
{
    Q_OBJECT
public:
    // Takes ownership of Root (a data module with its components).
    explicit TFormDesigner(std::unique_ptr<QObject> Root, QString FileName = {});
    ~TFormDesigner() override;

    // IDesigner: marks the module modified and announces designChanged().
    void Modified() override;
    QObject *Root() const override;
    // Modules of the code editor are named after form files: "dfm".
    QString GetDesignerExtension() const override;

    // The form file the module was read from or last saved to; empty for a
    // new module.
    QString fileName() const { return m_fileName; }
    void setFileName(const QString &FileName);

    // What the form file held when the module was read from it or last
    // saved to it: a save notices another program's change by it.
    const TFormFileStamp &fileStamp() const { return m_fileStamp; }
    void setFileStamp(const TFormFileStamp &Stamp) { m_fileStamp = Stamp; }

    bool isModified() const { return m_modified; }
    // Cleared after a save or a load; set by Modified().
    void setModified(bool Value);

    // The selected components of the module, in selection order; components
    // deleted since they were selected are left out.
    QList<QObject *> selection() const;
    // Replaces the selection; announces selectionChanged() only when it
    // differs. Components that are not the root or owned by it are ignored,
    // and so is the root when components are chosen with it.
    void select(const QList<QObject *> &Components);

    // Announces that Components are about to be changed by a pane that may
    // not have them selected (the undo history takes their state now).
    void aboutToChange(const QList<QObject *> &Components)
    {
        emit aboutToChangeComponents(Components);
    }

    // Announces that components were added, deleted, renamed or moved: the
    // panes rebuild what lists components. Also marks the module modified.
    void notifyComponentsChanged();

signals:
    void modifiedChanged(bool Modified);
    void selectionChanged();
    // Some property value of some component may have changed.
    void designChanged();
    // The set, names or arrangement of components changed.
    void componentsChanged();
    void fileNameChanged(const QString &FileName);
    void aboutToChangeComponents(const QList<QObject *> &Components);

private:
    bool belongs(const QObject *Component) const;

    std::unique_ptr<QObject> m_root;
    QString m_fileName;
    TFormFileStamp m_fileStamp;
    bool m_modified = false;
    QList<QPointer<QObject>> m_selection;
};

using TFormDesignerPtr = std::shared_ptr<TFormDesigner>;
