#pragma once
// The 44-byte header of a 16-bit PCM WAV file, for tests and benchmarks that write audio.
#include <QByteArray>
#include <QtEndian>

inline QByteArray wavHeader(quint32 dataBytes, int rate, int channels)
{
    auto u32 = [](quint32 v) {
        v = qToLittleEndian(v);
        return QByteArray(reinterpret_cast<const char*>(&v), 4);
    };
    auto u16 = [](quint16 v) {
        v = qToLittleEndian(v);
        return QByteArray(reinterpret_cast<const char*>(&v), 2);
    };
    return QByteArray("RIFF") + u32(36 + dataBytes) + QByteArray("WAVEfmt ") + u32(16) + u16(1) +
           u16(quint16(channels)) + u32(quint32(rate)) + u32(quint32(rate * channels * 2)) +
           u16(quint16(channels * 2)) + u16(16) + QByteArray("data") + u32(dataBytes);
}
