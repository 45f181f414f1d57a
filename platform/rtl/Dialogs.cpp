#include "Dialogs.h"
#include "UiServices.h"

TModalResult MessageDlg(const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
                        int HelpCtx)
{
    Q_UNUSED(HelpCtx);
    return uiServices().messageDlg(MessageRequest{Msg, DlgType, Buttons});
}

void ShowMessage(const QString &Msg)
{
    MessageDlg(Msg, mtCustom, mbOK);
}

bool TOpenDialog::Execute()
{
    return uiServices().openFile(*this);
}

bool TSaveDialog::Execute()
{
    return uiServices().saveFile(*this);
}
