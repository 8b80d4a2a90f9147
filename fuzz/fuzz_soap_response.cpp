// Feeds arbitrary bytes to the response decoder. Every input must end in a
// decoded answer or a db::Error; anything else (a crash, a sanitizer report,
// another exception type, runaway memory) is a finding.
#include "service/ComicsInterface.h"
#include "service/SoapMessage.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray body = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    // The client's own three operations, so that each answer form is reached.
    for (const service::Operation* op : {&service::loginOperation(), &service::titleByIsbnOperation(),
                                         &service::comicByIsbnOperation()}) {
        try {
            service::decodeResponse(body, *op);
        } catch (const db::Error&) {
        }
    }
    return 0;
}
