#pragma once
// Writes a tiny random-weight Whisper model in the ggml format whisper.cpp loads (multilingual
// vocabulary, 4 layers each side, state 8): about 1.5 MB, enough to drive load, warm-up and
// transcription. Its final norm ignores the audio and the token embedding favours one word
// and then the end of text, so every transcription is "w1000" and ends at once (a purely
// random decoder runs to the context limit at every temperature).
#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <QString>
#include <QtEndian>
#include <functional>
#include <qfloat16.h>

namespace TinyWhisperModel {

struct Dims
{
    qint32 vocab = 51865, audioCtx = 1500, state = 8, heads = 2, layers = 4, textCtx = 448, mels = 80;
};

class Writer
{
public:
    explicit Writer(quint32 seed) : m_random(seed) {}
    void i32(qint32 v)
    {
        v = qToLittleEndian(v);
        m_out.append(reinterpret_cast<const char*>(&v), 4);
    }
    void f32(float v) { m_out.append(reinterpret_cast<const char*>(&v), 4); }
    void bytes(const QByteArray& b) { m_out.append(b); }
    // A tensor record: dims in ggml order; f16 weights are random, f32 ones are `fill` or random;
    // `value` (index, random value) overrides both.
    void tensor(const QByteArray& name, std::initializer_list<qint32> ne, bool half, float fill = 0.0f,
                bool random = false, const std::function<float(qint64, float)>& value = {})
    {
        i32(qint32(ne.size()));
        i32(qint32(name.size()));
        i32(half ? 1 : 0);
        qint64 count = 1;
        for (qint32 n : ne) {
            i32(n);
            count *= n;
        }
        bytes(name);
        for (qint64 i = 0; i < count; ++i) {
            float v = half || random ? float(m_random.bounded(2.0) - 1.0) * 0.2f : fill;
            if (value)
                v = value(i, v);
            if (half) {
                const qfloat16 h(v);
                m_out.append(reinterpret_cast<const char*>(&h), 2);
            } else {
                f32(v);
            }
        }
    }
    QByteArray data() const { return m_out; }

private:
    QRandomGenerator m_random;
    QByteArray m_out;
};

inline QByteArray build(quint32 seed = 1, Dims d = {})
{
    Writer w(seed);
    w.i32(0x67676d6c); // "ggml"
    for (qint32 v : {d.vocab, d.audioCtx, d.state, d.heads, d.layers, d.textCtx, d.state, d.heads, d.layers, d.mels, 1})
        w.i32(v);
    w.i32(d.mels);
    w.i32(201);
    for (int i = 0; i < d.mels * 201; ++i)
        w.f32(i % 201 == i / 201 ? 1.0f : 0.0f);
    // The 50,257 text tokens; the engine names the special ones. Token 220 is the blank " ".
    w.i32(50257);
    for (int i = 0; i < 50257; ++i) {
        const QByteArray word = i == 220 ? QByteArray(" ") : " w" + QByteArray::number(i);
        w.i32(qint32(word.size()));
        w.bytes(word);
    }
    const qint32 s = d.state;
    auto block = [&](const QByteArray& prefix, int i, bool cross) {
        const QByteArray p = prefix + ".blocks." + QByteArray::number(i) + ".";
        auto attention = [&](const QByteArray& a) {
            w.tensor(p + a + "_ln.weight", {s}, false, 1.0f);
            w.tensor(p + a + "_ln.bias", {s}, false);
            w.tensor(p + a + ".query.weight", {s, s}, true);
            w.tensor(p + a + ".query.bias", {s}, false);
            w.tensor(p + a + ".key.weight", {s, s}, true);
            w.tensor(p + a + ".value.weight", {s, s}, true);
            w.tensor(p + a + ".value.bias", {s}, false);
            w.tensor(p + a + ".out.weight", {s, s}, true);
            w.tensor(p + a + ".out.bias", {s}, false);
        };
        w.tensor(p + "mlp_ln.weight", {s}, false, 1.0f);
        w.tensor(p + "mlp_ln.bias", {s}, false);
        w.tensor(p + "mlp.0.weight", {s, 4 * s}, true);
        w.tensor(p + "mlp.0.bias", {4 * s}, false);
        w.tensor(p + "mlp.2.weight", {4 * s, s}, true);
        w.tensor(p + "mlp.2.bias", {s}, false);
        attention("attn");
        if (cross)
            attention("cross_attn");
    };
    w.tensor("encoder.positional_embedding", {s, d.audioCtx}, false, 0.0f, true);
    w.tensor("encoder.conv1.weight", {3, d.mels, s}, true);
    w.tensor("encoder.conv1.bias", {1, s}, false);
    w.tensor("encoder.conv2.weight", {3, s, s}, true);
    w.tensor("encoder.conv2.bias", {1, s}, false);
    w.tensor("encoder.ln_post.weight", {s}, false, 1.0f);
    w.tensor("encoder.ln_post.bias", {s}, false);
    for (int i = 0; i < d.layers; ++i)
        block("encoder", i, false);
    w.tensor("decoder.positional_embedding", {s, d.textCtx}, false, 0.0f, true);
    // Logits are the token embedding times the normed state, here the bias (all ones): token
    // 50257 (end of text) scores 16, token 1000 12, the others about 0. The engine suppresses
    // the end of text as the first token, so "w1000" comes first.
    w.tensor("decoder.token_embedding.weight", {s, d.vocab}, true, 0.0f, false, [s](qint64 i, float v) {
        const qint64 token = i / s;
        return token == 50257 ? 2.0f : token == 1000 ? 1.5f : v * 0.5f;
    });
    w.tensor("decoder.ln.weight", {s}, false, 0.0f);
    w.tensor("decoder.ln.bias", {s}, false, 1.0f);
    for (int i = 0; i < d.layers; ++i)
        block("decoder", i, true);
    return w.data();
}

inline bool write(const QString& path, quint32 seed = 1)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(build(seed)) >= 0;
}

} // namespace TinyWhisperModel
