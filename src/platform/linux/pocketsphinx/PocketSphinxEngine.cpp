#include "PocketSphinxEngine.h"

#include "platform/Bcp47.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

extern "C" {
#include <sphinxbase/cmn.h>
#include <sphinxbase/err.h>
#include <sphinxbase/feat.h>
#include <pocketsphinx.h>
}

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

struct PocketSphinxEngine::Decoder
{
    QString locale;
    cmd_ln_t* config = nullptr;
    ps_decoder_t* ps = nullptr;
    // The cepstral mean the model starts from. The decoder adapts it after every utterance;
    // each recognition starts again from here so that the same audio always gives the same text.
    std::vector<mfcc_t> initialMean;
    void rememberInitialMean()
    {
        cmn_t* cmn = ps_get_feat(ps)->cmn_struct;
        initialMean.assign(size_t(cmn->veclen), 0);
        cmn_live_get(cmn, initialMean.data());
    }
    void restoreInitialMean() { cmn_live_set(ps_get_feat(ps)->cmn_struct, initialMean.data()); }
    ~Decoder()
    {
        if (ps)
            ps_free(ps);
        if (config)
            cmd_ln_free_r(config);
    }
};

struct PocketSphinxEngine::Pool
{
    QMutex mutex;
    std::vector<Decoder*> idle;
    ~Pool()
    {
        for (Decoder* d : idle)
            delete d;
    }
};

void PocketSphinxEngine::DecoderDeleter::operator()(Decoder* d) const
{
    QMutexLocker lock(&pool->mutex);
    // One spare decoder per language is enough; more would only hold memory.
    const bool have = std::any_of(pool->idle.begin(), pool->idle.end(), [&](Decoder* x) { return x->locale == d->locale; });
    if (have) {
        lock.unlock();
        delete d;
    } else {
        pool->idle.push_back(d);
    }
}

namespace {

constexpr size_t kChunk = 2048;
// Utterances are cut at a pause only once this much audio went into them: the decoder
// re-estimates its cepstral mean at each cut, and a cut after a short noise (a click, the
// start cue heard by the microphone) would estimate it from that noise and garble the words
// that follow.
constexpr size_t kMinUtteranceSamples = 16000 * 8;

// Feeds audio and cuts utterances at the pauses the decoder hears, which keeps long
// recordings from growing one huge search.
class Utterances
{
public:
    explicit Utterances(ps_decoder_t* ps) : m_ps(ps) { ps_start_utt(m_ps); }

    void feed(std::span<const float> samples)
    {
        int16 buffer[kChunk];
        while (!samples.empty()) {
            const size_t n = std::min(kChunk, samples.size());
            for (size_t i = 0; i < n; ++i)
                buffer[i] = int16(std::lround(std::clamp(samples[i], -1.0f, 1.0f) * 32767.0f));
            samples = samples.subspan(n);
            ps_process_raw(m_ps, buffer, n, FALSE, FALSE);
            m_fed += n;
            const bool inSpeech = ps_get_in_speech(m_ps);
            if (inSpeech)
                m_heard = true;
            else if (m_heard && m_fed >= kMinUtteranceSamples) {
                closeUtterance();
                ps_start_utt(m_ps);
            }
        }
    }

    QString partial()
    {
        QStringList all = m_done;
        int32 score = 0;
        if (const char* hyp = ps_get_hyp(m_ps, &score); hyp && *hyp)
            all << QString::fromUtf8(hyp);
        return all.join(QLatin1Char(' '));
    }

    QString finish()
    {
        closeUtterance();
        return m_done.join(QLatin1Char(' '));
    }

private:
    void closeUtterance()
    {
        ps_end_utt(m_ps);
        int32 score = 0;
        if (const char* hyp = ps_get_hyp(m_ps, &score); hyp && *hyp)
            m_done << QString::fromUtf8(hyp);
        m_heard = false;
        m_fed = 0;
    }

    ps_decoder_t* m_ps;
    QStringList m_done;
    bool m_heard = false;
    size_t m_fed = 0;
};

class PocketSphinxStream : public SpeechStream
{
public:
    explicit PocketSphinxStream(PocketSphinxEngine::DecoderHandle d, ps_decoder_t* ps)
        : m_decoder(std::move(d)), m_utterances(ps)
    {
    }
    void feed(std::span<const float> samples) override
    {
        if (!m_finished)
            m_utterances.feed(samples);
    }
    QString partialText() override { return m_finished ? m_final : m_utterances.partial(); }
    QString finish() override
    {
        if (!m_finished) {
            m_final = m_utterances.finish();
            m_finished = true;
        }
        return m_final;
    }

private:
    PocketSphinxEngine::DecoderHandle m_decoder;
    Utterances m_utterances;
    bool m_finished = false;
    QString m_final;
};

QString firstFile(const QDir& dir, const QStringList& patterns, const QString& excluding = {})
{
    const QStringList files = dir.entryList(patterns, QDir::Files, QDir::Name);
    for (const QString& f : files)
        if (excluding.isEmpty() || !f.contains(excluding))
            return dir.filePath(f);
    return {};
}

bool startsWith(const QString& path, const QByteArrayList& magics)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(32);
    return std::any_of(magics.begin(), magics.end(), [&](const QByteArray& m) { return head.startsWith(m); });
}

// PocketSphinx ends the whole process on a damaged model instead of failing, so only
// folders that look like a real model are offered at all.
bool looksComplete(const QString& hmm, const QString& lm)
{
    const QDir dir(hmm);
    for (const char* f : {"mdef", "means", "variances", "transition_matrices", "noisedict"})
        if (!QFileInfo(dir.filePath(QLatin1String(f))).size())
            return false;
    return startsWith(dir.filePath(QStringLiteral("mdef")), {"BMDF", "0.3"}) &&
           (startsWith(lm, {"Trie Language Model", "Darpa Trie LM"}) || startsWith(lm, {"\\data\\", "#"}) ||
            lm.endsWith(QLatin1String(".lm")));
}

} // namespace

QString PocketSphinxEngine::defaultModelFolder()
{
    return QStringLiteral(OVRA_POCKETSPHINX_MODELDIR);
}

PocketSphinxEngine::PocketSphinxEngine(QString modelFolder)
    : m_folder(std::move(modelFolder)), m_pool(std::make_shared<Pool>())
{
    // The library writes its progress on stderr unless told otherwise.
    static std::once_flag quiet;
    std::call_once(quiet, [] { err_set_logfp(nullptr); });
    m_models = scan();
}

PocketSphinxEngine::~PocketSphinxEngine() = default;

QHash<QString, PocketSphinxEngine::Model> PocketSphinxEngine::scan() const
{
    QHash<QString, Model> models;
    const QDir root(m_folder);
    for (const QString& name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QDir dir(root.filePath(name));
        Model m;
        for (const QString& sub : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
            if (QFile::exists(dir.filePath(sub + QStringLiteral("/mdef")))) {
                m.hmm = dir.filePath(sub);
                break;
            }
        }
        m.lm = firstFile(dir, {QStringLiteral("*.lm.bin"), QStringLiteral("*.lm"), QStringLiteral("*.lm.DMP")},
                         QStringLiteral("-phone"));
        m.dict = firstFile(dir, {QStringLiteral("*.dict"), QStringLiteral("*.dic")});
        const QString locale = Bcp47::normalize(name);
        if (!m.hmm.isEmpty() && !m.lm.isEmpty() && !m.dict.isEmpty() && locale.contains(QLatin1Char('-')) &&
            looksComplete(m.hmm, m.lm))
            models.insert(locale.toLower(), m);
    }
    return models;
}

QStringList PocketSphinxEngine::supportedLocales() const
{
    QStringList out;
    for (auto it = m_models.begin(); it != m_models.end(); ++it)
        out << Bcp47::normalize(it.key());
    out.sort();
    return out;
}

Expected<PocketSphinxEngine::DecoderHandle, QString> PocketSphinxEngine::acquire(const QString& locale)
{
    const QString key = Bcp47::normalize(locale).toLower();
    {
        QMutexLocker lock(&m_pool->mutex);
        auto it = std::find_if(m_pool->idle.begin(), m_pool->idle.end(), [&](Decoder* d) { return d->locale == key; });
        if (it != m_pool->idle.end()) {
            Decoder* d = *it;
            m_pool->idle.erase(it);
            d->restoreInitialMean();
            return DecoderHandle(d, DecoderDeleter{m_pool});
        }
    }
    const auto model = m_models.find(key);
    if (model == m_models.end())
        return unexpected(QStringLiteral("aucun modèle PocketSphinx pour %1").arg(locale));
    auto d = std::make_unique<Decoder>();
    d->locale = key;
    const QByteArray hmm = QFile::encodeName(model->hmm), lm = QFile::encodeName(model->lm),
                     dict = QFile::encodeName(model->dict);
    d->config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-lm", lm.constData(), "-dict",
                            dict.constData(), "-logfn", "/dev/null", nullptr);
    if (d->config)
        d->ps = ps_init(d->config);
    if (!d->ps)
        return unexpected(QStringLiteral("le modèle PocketSphinx %1 ne se charge pas").arg(model->hmm));
    d->rememberInitialMean();
    return DecoderHandle(d.release(), DecoderDeleter{m_pool});
}

Expected<QString, QString> PocketSphinxEngine::recognize(const QString& locale, std::span<const float> samples)
{
    auto decoder = acquire(locale);
    if (!decoder)
        return unexpected(decoder.error());
    Utterances utterances(decoder.value()->ps);
    utterances.feed(samples);
    return utterances.finish();
}

Expected<std::unique_ptr<SpeechStream>, QString> PocketSphinxEngine::openStream(const QString& locale)
{
    auto decoder = acquire(locale);
    if (!decoder)
        return unexpected(decoder.error());
    ps_decoder_t* ps = decoder.value()->ps;
    return std::unique_ptr<SpeechStream>(std::make_unique<PocketSphinxStream>(std::move(decoder.value()), ps));
}
