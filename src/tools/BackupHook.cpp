#include "tools/BackupHook.h"

#include "core/Errors.h"

namespace tools {

namespace {
BackupHook& hook()
{
    static BackupHook h;
    return h;
}
} // namespace

BackupHook setBackupHook(BackupHook h)
{
    BackupHook previous = std::move(hook());
    hook() = std::move(h);
    return previous;
}

void backupBefore(const QString& command)
{
    if (hook() && !hook()(command))
        throw db::Abort();
}

} // namespace tools
