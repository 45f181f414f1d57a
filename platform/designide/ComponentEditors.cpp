#include "ComponentEditors.h"

#include "Registrations.h"

TComponentEditor::TComponentEditor(QObject *AComponent, IDesignerPtr ADesigner)
    : FComponent(AComponent)
    , FDesigner(std::move(ADesigner))
{}

TComponentEditor::~TComponentEditor() = default;

void TComponentEditor::Edit()
{
    if (GetVerbCount() > 0)
        ExecuteVerb(0);
}

void TComponentEditor::ExecuteVerb(int Index)
{
    Q_UNUSED(Index);
}

QString TComponentEditor::GetVerb(int Index)
{
    Q_UNUSED(Index);
    return {};
}

int TComponentEditor::GetVerbCount()
{
    return 0;
}

void TComponentEditor::Copy() {}

void TComponentEditor::PrepareItem(int Index, QAction *AItem)
{
    Q_UNUSED(Index);
    Q_UNUSED(AItem);
}

TDSDesignerClass TDataSetEditor::GetDSDesignerClass()
{
    return {QStringLiteral("TDSDesigner")};
}

std::unique_ptr<TComponentEditor> GetComponentEditor(QObject *Component, IDesignerPtr Designer)
{
    if (Component) {
        if (TComponentEditorClass editorClass
            = registrations().componentEditorFor(Component->metaObject()))
            return editorClass.Create(Component, std::move(Designer));
    }
    return std::make_unique<TComponentEditor>(Component, std::move(Designer));
}
