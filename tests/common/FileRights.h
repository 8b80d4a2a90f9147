#pragma once

// Tests of collections the user may only read. Root passes every check of
// file and folder rights, and CI runs the tests as root: these helpers make
// the rights count all the same.

#include <QProcess>
#include <QString>

#include <grp.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace test {

// Runs the process's child as "nobody" when the test runs as root.
inline void runAsAnotherUser(QProcess& process)
{
    if (geteuid() != 0)
        return;
    process.setChildProcessModifier([] {
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
            _exit(3);
    });
}

// Gives up root's power over the rights of files and folders for this
// process. Capabilities belong to each thread, and a new thread inherits
// them: call it from the test's initMain(), before any thread exists.
inline void obeyFileRights()
{
    if (geteuid() != 0)
        return;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, data) != 0)
        return;
    for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
        data[CAP_TO_INDEX(cap)].effective &= ~CAP_TO_MASK(cap);
        data[CAP_TO_INDEX(cap)].permitted &= ~CAP_TO_MASK(cap);
        data[CAP_TO_INDEX(cap)].inheritable &= ~CAP_TO_MASK(cap);
    }
    syscall(SYS_capset, &header, data);
}

} // namespace test
