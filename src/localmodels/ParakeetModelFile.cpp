#include "ParakeetModelFile.h"

#include <QFile>
#include <ggml.h>

#include <array>
#include <cstring>

namespace {

QString corrupted(const QString& what)
{
    return QStringLiteral("Fichier de modèle Parakeet invalide (") + what + QStringLiteral(")");
}

bool readInt(QFile& f, qint32& v)
{
    char b[4];
    if (f.read(b, 4) != 4)
        return false;
    std::memcpy(&v, b, 4);
    return true;
}

bool skip(QFile& f, qint64 bytes)
{
    return bytes >= 0 && f.pos() + bytes <= f.size() && f.seek(f.pos() + bytes);
}

} // namespace

namespace ParakeetModelFile {

Expected<void, QString> check(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return unexpected(QStringLiteral("Impossible de lire le modèle : ") + f.errorString());
    qint32 magic = 0;
    if (!readInt(f, magic) || quint32(magic) != GGML_FILE_MAGIC)
        return unexpected(corrupted(QStringLiteral("ce n’est pas un fichier ggml")));
    // n_vocab, n_audio_ctx, n_audio_state, n_audio_head, n_audio_layer, n_mels, ftype, n_fft,
    // subsampling_factor, n_subsampling_channels, n_conv_kernel, n_pred_dim, n_pred_layers,
    // n_tdt_durations, n_max_tokens
    std::array<qint32, 15> h{};
    for (qint32& v : h)
        if (!readInt(f, v))
            return unexpected(corrupted(QStringLiteral("en-tête tronqué")));
    const auto [vocab, audioCtx, state, heads, layers, mels, ftype, fft, subsampling, channels, kernel, predDim,
                predLayers, durations, maxTokens] = h;
    // A Whisper file has the same magic and a vocabulary of 51,864 words or more.
    if (vocab <= 0 || vocab >= 51864)
        return unexpected(corrupted(QStringLiteral("ce n’est pas un modèle Parakeet")));
    const bool sane = audioCtx > 0 && audioCtx <= (1 << 20) && state > 0 && state <= 8192 && heads > 0 &&
                      state % heads == 0 && layers > 0 && layers <= 128 && mels > 0 && mels <= 512 && ftype >= 0 &&
                      fft > 0 && fft <= 8192 && subsampling > 0 && channels > 0 && channels <= 4096 && kernel > 0 &&
                      kernel <= 1024 && predDim > 0 && predDim <= 8192 && predLayers > 0 && predLayers <= 16 &&
                      durations > 0 && durations <= 64 && maxTokens > 0;
    if (!sane)
        return unexpected(corrupted(QStringLiteral("dimensions incohérentes")));

    qint32 filterMels = 0, bins = 0, window = 0;
    if (!readInt(f, filterMels) || !readInt(f, bins) || filterMels != mels || bins != fft / 2 + 1 ||
        !skip(f, qint64(filterMels) * bins * 4))
        return unexpected(corrupted(QStringLiteral("filtres mel")));
    if (!readInt(f, window) || window != fft || !skip(f, qint64(window) * 4) || !skip(f, qint64(durations) * 4))
        return unexpected(corrupted(QStringLiteral("fenêtre")));
    qint32 words = 0;
    if (!readInt(f, words) || words != vocab)
        return unexpected(corrupted(QStringLiteral("vocabulaire")));
    for (qint32 i = 0; i < words; ++i) {
        qint32 len = 0;
        if (!readInt(f, len) || len < 0 || len > 1024 || !skip(f, len))
            return unexpected(corrupted(QStringLiteral("vocabulaire tronqué")));
    }
    int tensors = 0;
    while (f.pos() < f.size()) {
        qint32 dims = 0, nameLength = 0, type = 0;
        if (!readInt(f, dims) || !readInt(f, nameLength) || !readInt(f, type))
            return unexpected(corrupted(QStringLiteral("tenseur tronqué")));
        if (dims < 1 || dims > 4 || nameLength <= 0 || nameLength > 256 || type < 0 || type >= GGML_TYPE_COUNT ||
            ggml_blck_size(ggml_type(type)) <= 0 || ggml_type_size(ggml_type(type)) == 0)
            return unexpected(corrupted(QStringLiteral("tenseur illisible")));
        qint64 elements = 1;
        for (int d = 0; d < dims; ++d) {
            qint32 ne = 0;
            if (!readInt(f, ne) || ne <= 0 || ne > (1 << 24))
                return unexpected(corrupted(QStringLiteral("forme de tenseur")));
            elements *= ne;
            if (elements > (qint64(1) << 34))
                return unexpected(corrupted(QStringLiteral("forme de tenseur")));
        }
        const qint64 block = ggml_blck_size(ggml_type(type));
        if (elements % block != 0 || !skip(f, nameLength) ||
            !skip(f, elements / block * qint64(ggml_type_size(ggml_type(type)))))
            return unexpected(corrupted(QStringLiteral("fichier tronqué")));
        ++tensors;
    }
    if (tensors == 0)
        return unexpected(corrupted(QStringLiteral("aucun tenseur")));
    return {};
}

} // namespace ParakeetModelFile
