// Feeds arbitrary bytes to the response decoder. Every input must end in a
// decoded answer or a db::Error; anything else (a crash, a sanitizer report,
// another exception type, runaway memory) is a finding.
#include "service/SoapMessage.h"

#include <cstddef>
#include <cstdint>

namespace {

// One operation with a result and one with out-parameters, so that both
// success paths are reached.
const service::Operation& withResult()
{
    static const service::Operation op{QStringLiteral("TitleByISBN"), {QStringLiteral("isbn")}, {}, true};
    return op;
}

const service::Operation& withOutParams()
{
    static const service::Operation op{
        QStringLiteral("ComicByISBN"),
        {QStringLiteral("isbn")},
        {QStringLiteral("Titel1"), QStringLiteral("Titel2"), QStringLiteral("Titel3"), QStringLiteral("Verlag"),
         QStringLiteral("Serie"), QStringLiteral("Band"), QStringLiteral("Seiten"), QStringLiteral("ISBNNR"),
         QStringLiteral("Gruppe"), QStringLiteral("Sparte")},
        false};
    return op;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const service::Operation* op : {&withResult(), &withOutParams()}) {
        try {
            service::decodeResponse(body, *op);
        } catch (const db::Error&) {
        }
    }
    return 0;
}
