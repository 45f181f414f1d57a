#pragma once

#include <QString>

// Makes sure the process has a runtime folder ($XDG_RUNTIME_DIR): a folder
// only the current user can enter, where Qt keeps sockets and locks. A desktop
// session sets one; a console login, a container or runuser often do not, and
// Qt then warns on every start. Call before creating the application object.
//
// An absolute $XDG_RUNTIME_DIR is left as it is. Otherwise the variable is set
// to "ov-runtime-<uid>" in the temporary folder, created with mode 0700 when
// missing and put back to 0700 when it has other rights. The temporary folder
// is shared, so that name is used only when it is a real folder owned by the
// user; anything else there (another user's folder, a link, a file) is left
// alone and a fresh private folder "ov-runtime-<uid>-XXXXXX" is made instead.
// Returns the folder in use, or an empty string when none could be made (the
// variable is then left unchanged).
QString ensureRuntimeDir();
