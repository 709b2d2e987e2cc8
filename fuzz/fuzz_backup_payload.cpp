// Backup documents come from files the user picks and from other devices: decoding must hold,
// and whatever decodes must encode to a document that decodes again to the same records.
#include "sync/BackupPayload.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto payload = decode(bytes);
    if (!payload)
        return 0;
    const QByteArray again = encode(*payload);
    const auto reread = decode(again);
    if (!reread || encode(*reread) != again)
        std::abort();
    return 0;
}
