#pragma once
// Writes a small Silero voice-activity model in the ggml layout whisper.cpp loads, with weights
// chosen by hand instead of trained: it hears "speech" wherever a 1000 Hz tone is loud and
// silence everywhere else. One STFT bin (1000 Hz at 16 kHz) feeds one channel through the
// encoder; one LSTM unit thresholds it; the final layer maps it to a probability near 0 or 1.
#include "localmodels/SileroModelFile.h"

#include <QByteArray>
#include <QList>
#include <QtEndian>
#include <cmath>
#include <qfloat16.h>

namespace TinySileroModel {

class Writer
{
public:
    void i32(qint32 v)
    {
        v = qToLittleEndian(v);
        m_out.append(reinterpret_cast<const char*>(&v), 4);
    }
    void tensor(const QByteArray& name, const QList<qint32>& shape, const std::vector<float>& values, bool f16)
    {
        i32(qint32(shape.size()));
        i32(qint32(name.size()));
        i32(f16 ? 1 : 0);
        for (qint32 d : shape)
            i32(d);
        m_out.append(name);
        for (float v : values) {
            if (f16) {
                const qfloat16 h(v);
                m_out.append(reinterpret_cast<const char*>(&h), 2);
            } else {
                m_out.append(reinterpret_cast<const char*>(&v), 4);
            }
        }
    }
    QByteArray bytes() const { return m_out; }

private:
    QByteArray m_out;
};

inline QByteArray build()
{
    using namespace SileroModelFile;
    Writer head;
    head.i32(0x67676d6c);
    const QByteArray type = "silero-16k";
    head.i32(qint32(type.size()));
    const QByteArray bytes = head.bytes() + type;
    Writer rest;
    for (qint32 v : {5, 1, 2, kWindow, kContext, kEncoderLayers})
        rest.i32(v);
    for (int i = 0; i < kEncoderLayers; ++i) {
        rest.i32(kEncoderIn[i]);
        rest.i32(kEncoderOut[i]);
        rest.i32(kKernel);
    }
    for (qint32 v : {kHidden, kHidden, kHidden, 1})
        rest.i32(v);

    // Bin 16 of a 256-sample window is 1000 Hz: its cosine (channel 0) and sine (channel 129).
    std::vector<float> basis(256 * 258, 0.0f);
    for (int n = 0; n < 256; ++n) {
        basis[size_t(n)] = float(std::cos(2 * M_PI * 16 * n / 256.0));
        basis[size_t(n + 256 * 129)] = float(std::sin(2 * M_PI * 16 * n / 256.0));
    }
    rest.tensor("_model.stft.forward_basis_buffer", {256, 1, 258}, basis, true);
    for (int i = 0; i < kEncoderLayers; ++i) {
        // Channel 0 in → channel 0 out through the middle tap; everything else silent.
        std::vector<float> weight(size_t(kKernel * kEncoderIn[i] * kEncoderOut[i]), 0.0f);
        weight[1] = 1.0f;
        const QByteArray prefix = "_model.encoder." + QByteArray::number(i) + ".reparam_conv.";
        rest.tensor(prefix + "weight", {kKernel, kEncoderIn[i], kEncoderOut[i]}, weight, true);
        rest.tensor(prefix + "bias", {kEncoderOut[i]}, std::vector<float>(size_t(kEncoderOut[i]), 0.0f), false);
    }
    // Gates: input and output open, forget closed; unit 0's cell input is tanh(10 (x - 1)).
    std::vector<float> ih(size_t(kHidden * 4 * kHidden), 0.0f);
    ih[size_t(kHidden * 2 * kHidden)] = 10.0f;
    std::vector<float> ihBias(size_t(4 * kHidden), 0.0f);
    for (int u = 0; u < kHidden; ++u) {
        ihBias[size_t(u)] = 10.0f;
        ihBias[size_t(kHidden + u)] = -10.0f;
        ihBias[size_t(3 * kHidden + u)] = 10.0f;
    }
    ihBias[size_t(2 * kHidden)] = -10.0f;
    rest.tensor("_model.decoder.rnn.weight_ih", {kHidden, 4 * kHidden}, ih, false);
    rest.tensor("_model.decoder.rnn.weight_hh", {kHidden, 4 * kHidden}, std::vector<float>(ih.size(), 0.0f), false);
    rest.tensor("_model.decoder.rnn.bias_ih", {4 * kHidden}, ihBias, false);
    rest.tensor("_model.decoder.rnn.bias_hh", {4 * kHidden}, std::vector<float>(size_t(4 * kHidden), 0.0f), false);
    std::vector<float> finalWeight(size_t(kHidden), 0.0f);
    finalWeight[0] = 20.0f;
    rest.tensor("_model.decoder.decoder.2.weight", {kHidden}, finalWeight, true);
    rest.tensor("_model.decoder.decoder.2.bias", {}, {-5.0f}, false);
    return bytes + rest.bytes();
}

} // namespace TinySileroModel
