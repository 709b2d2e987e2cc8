#pragma once
// Writes the tiny random Parakeet TDT model whisper.cpp generates for its own tests
// (models/generate-parakeet-test-model.py), in C++ so that tests need no NumPy: vocabulary of
// 10, one encoder layer, state 8. The text it produces is meaningless.
#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <QString>
#include <initializer_list>

namespace TinyParakeetModel {

inline QByteArray build(quint32 seed = 42)
{
    QRandomGenerator random(seed);
    QByteArray out;
    auto i32 = [&](qint32 v) { out.append(reinterpret_cast<const char*>(&v), 4); };
    auto f32 = [&](float v) { out.append(reinterpret_cast<const char*>(&v), 4); };
    auto normal = [&] { return float(random.bounded(2.0) - 1.0); };
    // Shapes as the generator gives them (outermost first); written innermost first.
    auto tensor = [&](const QByteArray& name, std::initializer_list<qint32> shape, bool positive = false) {
        i32(qint32(shape.size()));
        i32(qint32(name.size()));
        i32(0);
        qint64 count = 1;
        for (auto it = std::rbegin(shape); it != std::rend(shape); ++it) {
            i32(*it);
            count *= *it;
        }
        out.append(name);
        for (qint64 i = 0; i < count; ++i)
            f32(positive ? std::abs(normal()) + 0.1f : normal());
    };
    const qint32 vocab = 10, state = 8, heads = 2, layers = 1, mels = 16, fft = 64, subsampling = 8, channels = 4,
                 kernel = 3, predDim = 8, predLayers = 1, durations = 2;
    i32(0x67676d6c);
    for (qint32 v : {vocab, 3200, state, heads, layers, mels, 0, fft, subsampling, channels, kernel, predDim,
                     predLayers, durations, 5})
        i32(v);
    const qint32 freqs = fft / 2 + 1;
    i32(mels);
    i32(freqs);
    for (int i = 0; i < mels * freqs; ++i)
        f32(normal());
    i32(fft);
    for (int i = 0; i < fft; ++i)
        f32(normal());
    for (qint32 d = 0; d < durations; ++d)
        i32(d);
    i32(vocab);
    for (const QByteArray& token : {QByteArray("<unk>"), QByteArray("<s>"), QByteArray("</s>"), QByteArray("a"),
                                    QByteArray("b"), QByteArray("c"), QByteArray("d"), QByteArray("e"),
                                    QByteArray("f"), QByteArray("g")}) {
        i32(qint32(token.size()));
        out.append(token);
    }
    const qint32 preEncode = (mels / subsampling) * channels, headDim = state / heads, gates = 4 * predDim;
    tensor("encoder.pre_encode.out.weight", {state, preEncode});
    tensor("encoder.pre_encode.out.bias", {state});
    for (const char* conv : {"0", "2", "5"}) {
        tensor(QByteArray("encoder.pre_encode.conv.") + conv + ".weight", {channels, 1, 3, 3});
        tensor(QByteArray("encoder.pre_encode.conv.") + conv + ".bias", {1, channels, 1, 1});
        if (QByteArray(conv) != "0") {
            const QByteArray next = QByteArray::number(QByteArray(conv).toInt() + 1);
            tensor("encoder.pre_encode.conv." + next + ".weight", {channels, channels, 1, 1});
            tensor("encoder.pre_encode.conv." + next + ".bias", {1, channels, 1, 1});
        }
    }
    for (int i = 0; i < layers; ++i) {
        const QByteArray p = "encoder.layers." + QByteArray::number(i) + ".";
        tensor(p + "norm_feed_forward1.weight", {state});
        tensor(p + "norm_feed_forward1.bias", {state});
        tensor(p + "feed_forward1.linear1.weight", {4 * state, state});
        tensor(p + "feed_forward1.linear2.weight", {state, 4 * state});
        tensor(p + "norm_conv.weight", {state});
        tensor(p + "norm_conv.bias", {state});
        tensor(p + "conv.pointwise_conv1.weight", {2 * state, state});
        tensor(p + "conv.depthwise_conv.weight", {state, kernel});
        tensor(p + "conv.batch_norm.weight", {state});
        tensor(p + "conv.batch_norm.bias", {state});
        tensor(p + "conv.batch_norm.running_mean", {state});
        tensor(p + "conv.batch_norm.running_var", {state}, true);
        tensor(p + "conv.batch_norm.num_batches_tracked", {1});
        tensor(p + "conv.pointwise_conv2.weight", {state, state});
        tensor(p + "norm_self_att.weight", {state});
        tensor(p + "norm_self_att.bias", {state});
        tensor(p + "self_attn.pos_bias_u", {heads, headDim});
        tensor(p + "self_attn.pos_bias_v", {heads, headDim});
        for (const char* w : {"linear_q", "linear_k", "linear_v", "linear_out", "linear_pos"})
            tensor(p + "self_attn." + w + ".weight", {state, state});
        tensor(p + "norm_feed_forward2.weight", {state});
        tensor(p + "norm_feed_forward2.bias", {state});
        tensor(p + "feed_forward2.linear1.weight", {4 * state, state});
        tensor(p + "feed_forward2.linear2.weight", {state, 4 * state});
        tensor(p + "norm_out.weight", {state});
        tensor(p + "norm_out.bias", {state});
    }
    tensor("decoder.prediction.embed.weight", {vocab + 1, predDim});
    for (int i = 0; i < predLayers; ++i) {
        const QByteArray base = "decoder.prediction.dec_rnn.lstm.";
        tensor(base + "weight_ih_l" + QByteArray::number(i), {gates, predDim});
        tensor(base + "weight_hh_l" + QByteArray::number(i), {gates, predDim});
        tensor(base + "bias_h_l" + QByteArray::number(i), {gates});
    }
    tensor("joint.pred.weight", {predDim, predDim});
    tensor("joint.pred.bias", {predDim});
    tensor("joint.enc.weight", {predDim, state});
    tensor("joint.enc.bias", {predDim});
    tensor("joint.joint_net.2.weight", {vocab + durations + 1, predDim});
    tensor("joint.joint_net.2.bias", {vocab + durations + 1});
    return out;
}

} // namespace TinyParakeetModel
