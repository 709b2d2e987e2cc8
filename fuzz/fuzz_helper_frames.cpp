// Frames come from anyone on the local network: the frame reader, the message reader and the
// payload readers must hold, and what they accept must survive a round trip.
#include "helper/HelperProtocol.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray buffer(reinterpret_cast<const char*>(data), qsizetype(size));
    const QByteArray raw = buffer;
    (void)PairPayload::fromJson(raw);
    (void)PushPayload::fromJson(raw);
    (void)UnpairPayload::fromJson(raw);
    for (;;) {
        const qsizetype before = buffer.size();
        auto r = HelperProtocol::decodeFrame(buffer);
        if (!r || !r->has_value()) {
            if (r && buffer.size() != before)
                std::abort(); // waiting for more bytes must leave the buffer alone
            break;
        }
        const Message& m = **r;
        if (m.payload) {
            (void)PushPayload::fromJson(*m.payload);
            (void)HelperProtocol::open(*m.payload, QByteArray(32, 'k'), m.nonce.value_or(QByteArray()),
                                       m.deviceID.value_or(QString()));
        }
        // Lone surrogates become U+FFFD on the first encoding, so compare the second one.
        auto again = HelperProtocol::encodeFrame(m);
        if (again) {
            const QByteArray first = *again;
            auto back = HelperProtocol::decodeFrame(*again);
            if (!back || !back->has_value() || !again->isEmpty())
                std::abort();
            auto twice = HelperProtocol::encodeFrame(**back);
            if (!twice || *twice != first)
                std::abort();
        }
    }
    return 0;
}
