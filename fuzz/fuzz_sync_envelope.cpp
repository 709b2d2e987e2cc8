// The sync file comes from the user's other devices through their cloud client, or is left
// half-written by it: decoding must hold, and whatever decodes must write back to a file that
// decodes to the same version and records (the same digest).
#include "sync/SyncEnvelope.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto envelope = decodeEnvelope(bytes);
    if (!envelope)
        return 0;
    const auto again = decodeEnvelope(encodeEnvelope(*envelope));
    if (!again || again->version != envelope->version || again->deviceID != envelope->deviceID ||
        payloadDigest(again->data) != payloadDigest(envelope->data) ||
        recordCount(again->data) != recordCount(envelope->data))
        std::abort();
    return 0;
}
