#pragma once

#include <QString>

// While alive, file permissions hold for the calling thread even when it runs
// as root, so a test of a folder that cannot be written or a file that cannot
// be read runs as root too instead of being left out. It drops
// CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH from the thread's effective
// capabilities, which needs no privilege, and takes them back at the end. For
// an ordinary user it does nothing. Capabilities belong to a thread: work
// done on another thread, or by another process, keeps root's access. With
// Owners, CAP_CHOWN and CAP_FOWNER go too: root can then neither give a file
// to another user nor change the mode of one it does not own.
class FilePermissionsHold
{
public:
    explicit FilePermissionsHold(bool Owners = false);
    ~FilePermissionsHold();
    FilePermissionsHold(const FilePermissionsHold &) = delete;
    FilePermissionsHold &operator=(const FilePermissionsHold &) = delete;

    // Why the capabilities could not be dropped; empty when permissions hold.
    QString problem() const { return m_problem; }

private:
    unsigned m_savedEffective = 0;
    bool m_dropped = false;
    QString m_problem;
};
