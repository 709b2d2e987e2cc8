#pragma once
// Test audio made on the spot: synthesised signals written as WAV, and speech from espeak-ng.
#include <QByteArray>
#include <QCoroTask>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QtEndian>
#include <cmath>
#include <optional>
#include <random>
#include <vector>

namespace AudioFixtures {

inline std::vector<float> sine(double seconds, double hz = 440.0, float amplitude = 0.5f, int rate = 16000)
{
    std::vector<float> s(static_cast<size_t>(seconds * rate));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = amplitude * static_cast<float>(std::sin(2 * M_PI * hz * double(i) / rate));
    return s;
}

inline std::vector<float> silence(double seconds, int rate = 16000)
{
    return std::vector<float>(static_cast<size_t>(seconds * rate), 0.0f);
}

inline std::vector<float> noise(double seconds, float amplitude, int rate = 16000, unsigned seed = 7)
{
    std::mt19937 gen(seed);
    std::normal_distribution<float> d(0.0f, amplitude);
    std::vector<float> s(static_cast<size_t>(seconds * rate));
    for (float& x : s)
        x = d(gen);
    return s;
}

inline void append(std::vector<float>& to, const std::vector<float>& more)
{
    to.insert(to.end(), more.begin(), more.end());
}

inline double rms(const float* s, size_t n)
{
    double acc = 0;
    for (size_t i = 0; i < n; ++i)
        acc += double(s[i]) * s[i];
    return n ? std::sqrt(acc / double(n)) : 0.0;
}

// 16-bit PCM WAV; `channels` copies of the mono signal; channels 0 writes a broken header.
inline bool writeWav(const QString& path, const std::vector<float>& mono, int rate = 16000, int channels = 1)
{
    const int ch = std::max(channels, 1);
    QByteArray data;
    data.reserve(int(mono.size()) * 2 * ch);
    for (float x : mono) {
        const qint16 v = qToLittleEndian(qint16(std::lround(std::clamp(x, -1.0f, 1.0f) * 32767)));
        for (int c = 0; c < ch; ++c)
            data.append(reinterpret_cast<const char*>(&v), 2);
    }
    auto u32 = [](quint32 v) { v = qToLittleEndian(v); return QByteArray(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [](quint16 v) { v = qToLittleEndian(v); return QByteArray(reinterpret_cast<const char*>(&v), 2); };
    QByteArray h = "RIFF" + u32(quint32(36 + data.size())) + "WAVEfmt " + u32(16) + u16(1) + u16(quint16(channels)) +
                   u32(quint32(rate)) + u32(quint32(rate * ch * 2)) + u16(quint16(ch * 2)) + u16(16) + "data" +
                   u32(quint32(data.size()));
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(h + data) == h.size() + data.size();
}

// "hello world ..." spoken by espeak-ng, 16 kHz mono with half a second of silence around it.
inline bool speechWav(const QString& path, const QString& text = QStringLiteral("hello world this is a test"),
                      double padSeconds = 0.5)
{
    const QString raw = path + QStringLiteral(".raw.wav");
    if (QProcess::execute(QStringLiteral("espeak-ng"), {"-v", "en-us+m1", "-s", "140", "-w", raw, text}) != 0)
        return false;
    const QString pad = QString::number(padSeconds);
    const int rc = QProcess::execute(QStringLiteral("sox"),
                                     {"-D", raw, "-r", "16000", "-c", "1", "-b", "16", path, "pad", pad, pad});
    QFile::remove(raw);
    return rc == 0;
}

} // namespace AudioFixtures

namespace AudioFixtures {

template <class E>
QString errorText(const E& e)
{
    if constexpr (requires { e.message(); })
        return e.message();
    else if constexpr (requires { e.message; })
        return e.message;
    else
        return QString(e);
}

// QCoro::waitFor needs a default-constructible result; Expected has none.
template <class T>
T await(QCoro::Task<T>&& task)
{
    std::optional<T> result;
    auto wrapper = [&]() -> QCoro::Task<> { result.emplace(co_await task); };
    QCoro::waitFor(wrapper());
    return std::move(*result);
}

} // namespace AudioFixtures

// QVERIFY2 builds its message even on success; only read the error when there is one.
#define OVRA_VERIFY_OK(e) QVERIFY2(bool(e), bool(e) ? "" : qPrintable(AudioFixtures::errorText((e).error())))
