#pragma once

#include <QString>

#include <functional>

// Errors raised by the package or the runtime library inside an action of
// the designer are shown as the environment shows them, a message box with
// the text, and the application keeps running. The text starts with the
// place the error names ("qOrders.SQL: near ..."): the property editor that
// wrote a value or the dataset whose statement failed names it, once.

// Shows Message as an error message box (through the dialog seam).
void showErrorMessage(const QString &Message);

// Runs Action; an Exception or other std::exception it raises is shown with
// showErrorMessage and false is returned; a cancelled step (EAbort) returns
// false without a box. A scripted test person's own
// complaint (ScriptedUi::ScriptError) is not a design error and passes on.
bool runGuarded(const std::function<void()> &Action);
