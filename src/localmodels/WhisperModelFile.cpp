#include "WhisperModelFile.h"

#include <QFile>
#include <ggml.h>

#include <array>
#include <cstring>

namespace {

QString corrupted(const QString& what)
{
    return QStringLiteral("Fichier de modèle Whisper invalide (") + what + QStringLiteral(")");
}

class Reader
{
public:
    explicit Reader(QFile& file) : m_file(file) {}
    bool readInt(qint32& v)
    {
        char b[4];
        if (m_file.read(b, 4) != 4)
            return false;
        std::memcpy(&v, b, 4); // ggml files are little-endian, as are the machines we build for
        return true;
    }
    bool skip(qint64 bytes)
    {
        if (bytes < 0 || m_file.pos() + bytes > m_file.size())
            return false;
        return m_file.seek(m_file.pos() + bytes);
    }
    bool atEnd() const { return m_file.pos() >= m_file.size(); }

private:
    QFile& m_file;
};

} // namespace

namespace WhisperModelFile {

Expected<void, QString> check(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unexpected(QStringLiteral("Impossible de lire le modèle : ") + file.errorString());
    Reader in(file);

    qint32 magic = 0;
    if (!in.readInt(magic) || quint32(magic) != GGML_FILE_MAGIC)
        return unexpected(corrupted(QStringLiteral("ce n’est pas un fichier ggml")));

    // n_vocab, n_audio_ctx, n_audio_state, n_audio_head, n_audio_layer, n_text_ctx,
    // n_text_state, n_text_head, n_text_layer, n_mels, ftype
    std::array<qint32, 11> h{};
    for (qint32& v : h)
        if (!in.readInt(v))
            return unexpected(corrupted(QStringLiteral("en-tête tronqué")));
    const auto [nVocab, audioCtx, audioState, audioHead, audioLayer, textCtx, textState, textHead, textLayer, nMels,
                ftype] = h;
    // Whisper's vocabularies (English-only, multilingual, v3); another engine's file stops here.
    if (nVocab < 51864 || nVocab > 51866)
        return unexpected(corrupted(QStringLiteral("ce n’est pas un modèle Whisper")));
    const bool sane = audioCtx > 0 && audioCtx <= 1500 && audioState > 0 && audioState <= 4096 && audioHead > 0 &&
                      audioState % audioHead == 0 && audioLayer > 0 && audioLayer <= 64 && textCtx > 0 &&
                      textCtx <= 448 && textState == audioState && textHead > 0 && textState % textHead == 0 &&
                      textLayer > 0 && textLayer <= 64 && (nMels == 80 || nMels == 128) && ftype >= 0;
    if (!sane)
        return unexpected(corrupted(QStringLiteral("dimensions incohérentes")));

    qint32 filterMels = 0, filterFft = 0;
    if (!in.readInt(filterMels) || !in.readInt(filterFft) || filterMels != nMels || filterFft != 201 ||
        !in.skip(qint64(filterMels) * filterFft * 4))
        return unexpected(corrupted(QStringLiteral("filtres mel")));

    qint32 words = 0;
    if (!in.readInt(words) || words < 0 || words > nVocab)
        return unexpected(corrupted(QStringLiteral("vocabulaire")));
    for (qint32 i = 0; i < words; ++i) {
        qint32 len = 0;
        if (!in.readInt(len) || len < 0 || len > 1024 || !in.skip(len))
            return unexpected(corrupted(QStringLiteral("vocabulaire tronqué")));
    }

    int tensors = 0;
    while (!in.atEnd()) {
        qint32 dims = 0, nameLength = 0, type = 0;
        if (!in.readInt(dims) || !in.readInt(nameLength) || !in.readInt(type))
            return unexpected(corrupted(QStringLiteral("tenseur tronqué")));
        if (dims < 1 || dims > 4 || nameLength <= 0 || nameLength > 256 || type < 0 || type >= GGML_TYPE_COUNT ||
            ggml_blck_size(ggml_type(type)) <= 0 || ggml_type_size(ggml_type(type)) == 0)
            return unexpected(corrupted(QStringLiteral("tenseur illisible")));
        qint64 elements = 1;
        for (int d = 0; d < dims; ++d) {
            qint32 ne = 0;
            if (!in.readInt(ne) || ne <= 0 || ne > (1 << 24))
                return unexpected(corrupted(QStringLiteral("forme de tenseur")));
            elements *= ne;
            if (elements > (qint64(1) << 34))
                return unexpected(corrupted(QStringLiteral("forme de tenseur")));
        }
        const qint64 block = ggml_blck_size(ggml_type(type));
        if (elements % block != 0)
            return unexpected(corrupted(QStringLiteral("forme de tenseur")));
        const qint64 bytes = elements / block * qint64(ggml_type_size(ggml_type(type)));
        if (!in.skip(nameLength) || !in.skip(bytes))
            return unexpected(corrupted(QStringLiteral("fichier tronqué")));
        ++tensors;
    }
    // Encoder 7 + 15 per layer, decoder 4 + 24 per layer: the engine wants every one of them.
    if (tensors != 11 + 15 * audioLayer + 24 * textLayer)
        return unexpected(corrupted(QStringLiteral("tenseurs manquants")));
    return {};
}

} // namespace WhisperModelFile
