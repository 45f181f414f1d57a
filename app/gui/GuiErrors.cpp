#include "GuiErrors.h"

#include "rtl/Abort.h"
#include "rtl/SysUtils.h"
#include "rtl/UiServices.h"

void showErrorMessage(const QString &Message)
{
    MessageDlg(Message, mtError, mbOK);
}

bool runGuarded(const std::function<void()> &Action)
{
    try {
        Action();
        return true;
    } catch (const ScriptedUi::ScriptError &) {
        throw;
    } catch (const EAbort &) {
        // Cancelled by the person, who needs no box to say so.
    } catch (const Exception &e) {
        showErrorMessage(e.Message());
    } catch (const std::exception &e) {
        showErrorMessage(QString::fromUtf8(e.what()));
    }
    return false;
}
