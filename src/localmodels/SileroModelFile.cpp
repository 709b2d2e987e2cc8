#include "SileroModelFile.h"

#include <QFile>
#include <QHash>
#include <QtEndian>

namespace SileroModelFile {

namespace {

struct Expect
{
    QList<qint32> shape;
    bool f16;
};

// Tensor name → shape (ggml order) and type, for the layer sizes above.
QHash<QByteArray, Expect> expectedTensors()
{
    QHash<QByteArray, Expect> t;
    t.insert("_model.stft.forward_basis_buffer", {{256, 1, 258}, true});
    for (int i = 0; i < kEncoderLayers; ++i) {
        const QByteArray prefix = "_model.encoder." + QByteArray::number(i) + ".reparam_conv.";
        t.insert(prefix + "weight", {{kKernel, kEncoderIn[i], kEncoderOut[i]}, true});
        t.insert(prefix + "bias", {{kEncoderOut[i]}, false});
    }
    t.insert("_model.decoder.rnn.weight_ih", {{kHidden, 4 * kHidden}, false});
    t.insert("_model.decoder.rnn.weight_hh", {{kHidden, 4 * kHidden}, false});
    t.insert("_model.decoder.rnn.bias_ih", {{4 * kHidden}, false});
    t.insert("_model.decoder.rnn.bias_hh", {{4 * kHidden}, false});
    t.insert("_model.decoder.decoder.2.weight", {{kHidden, 1}, true});
    t.insert("_model.decoder.decoder.2.bias", {{1}, false});
    return t;
}

class Reader
{
public:
    explicit Reader(QFile& file) : m_file(file) {}
    bool i32(qint32& v)
    {
        char b[4];
        if (m_file.read(b, 4) != 4)
            return false;
        v = qFromLittleEndian<qint32>(b);
        return true;
    }
    bool bytes(QByteArray& out, qint64 n)
    {
        out = m_file.read(n);
        return out.size() == n;
    }
    bool skip(qint64 n) { return m_file.size() - m_file.pos() >= n && m_file.seek(m_file.pos() + n); }
    bool atEnd() const { return m_file.pos() == m_file.size(); }

private:
    QFile& m_file;
};

} // namespace

Expected<void, QString> check(const QString& path)
{
    const QString damaged = QStringLiteral("Le modèle de détection de la voix est incomplet ou endommagé");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unexpected(QStringLiteral("Le modèle de détection de la voix est illisible : ") + file.errorString());
    Reader in(file);
    qint32 magic = 0;
    if (!in.i32(magic) || quint32(magic) != 0x67676d6cu)
        return unexpected(QStringLiteral("Ce fichier n’est pas un modèle de détection de la voix"));
    qint32 typeLength = 0;
    QByteArray type;
    if (!in.i32(typeLength) || typeLength < 1 || typeLength > 64 || !in.bytes(type, typeLength) ||
        !type.startsWith("silero"))
        return unexpected(QStringLiteral("Ce fichier n’est pas un modèle de détection de la voix"));
    qint32 v = 0;
    for (int i = 0; i < 3; ++i)
        if (!in.i32(v))
            return unexpected(damaged);
    qint32 window = 0, context = 0, layers = 0;
    if (!in.i32(window) || !in.i32(context) || !in.i32(layers))
        return unexpected(damaged);
    if (window != kWindow || context != kContext || layers != kEncoderLayers)
        return unexpected(QStringLiteral("Modèle de détection de la voix d’un format non pris en charge"));
    for (int i = 0; i < kEncoderLayers; ++i) {
        qint32 inChannels = 0, outChannels = 0, kernel = 0;
        if (!in.i32(inChannels) || !in.i32(outChannels) || !in.i32(kernel))
            return unexpected(damaged);
        if (inChannels != kEncoderIn[i] || outChannels != kEncoderOut[i] || kernel != kKernel)
            return unexpected(QStringLiteral("Modèle de détection de la voix d’un format non pris en charge"));
    }
    for (int i = 0; i < 4; ++i) {
        // LSTM input and hidden size, final convolution in and out.
        const qint32 wanted = i == 3 ? 1 : kHidden;
        if (!in.i32(v))
            return unexpected(damaged);
        if (v != wanted)
            return unexpected(QStringLiteral("Modèle de détection de la voix d’un format non pris en charge"));
    }

    QHash<QByteArray, Expect> pending = expectedTensors();
    while (!in.atEnd()) {
        qint32 dims = 0, nameLength = 0, type = 0;
        if (!in.i32(dims) || !in.i32(nameLength) || !in.i32(type))
            return unexpected(damaged);
        if (dims < 0 || dims > 4 || nameLength < 1 || nameLength > 256 || (type != 0 && type != 1))
            return unexpected(damaged);
        QList<qint32> shape;
        qint64 elements = 1;
        for (int d = 0; d < dims; ++d) {
            if (!in.i32(v) || v < 1 || v > (1 << 20))
                return unexpected(damaged);
            shape.append(v);
            elements *= v;
        }
        QByteArray name;
        if (!in.bytes(name, nameLength))
            return unexpected(damaged);
        const auto it = pending.constFind(name);
        if (it == pending.cend())
            return unexpected(damaged);
        QList<qint32> padded = shape;
        while (padded.size() < it->shape.size())
            padded.append(1);
        while (padded.size() > it->shape.size() && padded.constLast() == 1)
            padded.removeLast();
        if (padded != it->shape || (type == 1) != it->f16)
            return unexpected(damaged);
        if (!in.skip(elements * (type == 1 ? 2 : 4)))
            return unexpected(damaged);
        pending.erase(it);
    }
    if (!pending.isEmpty())
        return unexpected(damaged);
    return {};
}

} // namespace SileroModelFile
