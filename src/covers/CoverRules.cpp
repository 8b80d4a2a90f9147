#include "covers/CoverRules.h"

#include "core/Errors.h"
#include "covers/CoverStore.h"

namespace covers {

bool deleteComicWithCover(CoverStore& covers, const QString& key, const std::function<bool()>& deleteComic)
{
    if (!deleteComic())
        return false;
    if (key.isEmpty())
        return true;
    try {
        covers.remove(key);
    } catch (const db::Error& e) {
        QString reason = e.message();
        if (reason.endsWith(QLatin1Char('.')))
            reason.chop(1);
        throw db::Error(QStringLiteral("Der Comic wurde gelöscht, sein Titelbild aber nicht: %1. Das Titelbild wird "
                                       "beim nächsten „Tabellen verkleinern“ entfernt")
                            .arg(reason));
    }
    return true;
}

} // namespace covers
