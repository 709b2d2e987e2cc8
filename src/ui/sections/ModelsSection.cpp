#include "ModelsSection.h"

#include "localmodels/LocalModelAutoDownloader.h"
#include "localmodels/LocalModels.h"
#include "localmodels/WhisperModel.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "transcription/FallbackTranscriptionModel.h"
#include "ui/SectionContext.h"

#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

QString nvidiaDescription(const QString& id)
{
    if (LocalModels::isParakeet(id))
        return QStringLiteral("Modèle NVIDIA multilingue (25 langues européennes), rapide et précis, sans réseau.");
    if (id.startsWith(QLatin1String("nemotron")))
        return QStringLiteral("Modèle NVIDIA en continu, découpé en fenêtres de 560, 1120 ou 2240 ms.");
    return QStringLiteral("Modèle NVIDIA pour l'anglais.");
}

QLabel* heading(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.2);
    label->setFont(font);
    return label;
}

} // namespace

ModelsSection::ModelsSection(SectionContext& context, QWidget* parent)
    : Section(MacSection::models, parent), m_context(context), m_models(context.localModels)
{
    auto* title = new QLabel(sectionTitle(MacSection::models), this);
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    title->setFont(titleFont);
    auto* intro = new QLabel(QStringLiteral("Ces modèles transcrivent sur cet ordinateur, sans clé ni réseau une fois "
                                            "téléchargés. Un mode les utilise quand son fournisseur est Whisper ou "
                                            "Parakeet."),
                             this);
    intro->setWordWrap(true);

    auto* list = new QWidget;
    auto* listLayout = new QVBoxLayout(list);
    listLayout->addWidget(heading(QStringLiteral("Whisper"), list));
    for (const WhisperModel& m : WhisperModel::catalogue()) {
        const QString size = QString::number(m.sizeMB) + QStringLiteral(" Mo") +
                             (m.multilingual ? QStringLiteral(" · multilingue") : QString());
        listLayout->addWidget(addCard(m.variant, FallbackTranscriptionModel::localModelName(m.variant), size,
                                      m.description));
    }
    listLayout->addWidget(heading(QStringLiteral("NVIDIA"), list));
    for (const QString& id : FallbackTranscriptionModel::localModelIDs(TranscriptionProvider::parakeet))
        listLayout->addWidget(addCard(id, FallbackTranscriptionModel::localModelName(id), QString(),
                                      nvidiaDescription(id)));
    listLayout->addWidget(heading(QStringLiteral("Détection de la voix"), list));
    listLayout->addWidget(addCard(QString::fromLatin1(SileroModelStore::modelID), QStringLiteral("Silero VAD"),
                                  QStringLiteral("0,9 Mo"),
                                  QStringLiteral("Repère la parole pour retirer les silences avant la transcription. "
                                                 "Sans lui, un détecteur par niveau sonore fait ce travail.")));
    listLayout->addStretch(1);
    for (ModelCard* card : std::as_const(m_cards))
        card->setParent(list);

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(list);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(intro);
    if (!m_models) {
        auto* missing = new QLabel(QStringLiteral("Les modèles locaux ne sont pas disponibles dans cette session."), this);
        missing->setWordWrap(true);
        layout->addWidget(missing);
    }
    layout->addWidget(scroll, 1);

    if (m_models) {
        // Progress arrives many times a second; one repaint per tick is enough.
        m_refreshTimer.setSingleShot(true);
        m_refreshTimer.setInterval(100);
        connect(&m_refreshTimer, &QTimer::timeout, this, &ModelsSection::refresh);
        auto later = [this] {
            if (!m_refreshTimer.isActive())
                m_refreshTimer.start();
        };
        connect(&m_models->whisperStore(), &WhisperKitModelStore::changed, this, later);
        connect(&m_models->whisper(), &WhisperKitTranscriptionService::stateChanged, this, later);
        connect(&m_models->parakeet(), &ParakeetTranscriptionService::stateChanged, this, later);
        connect(&m_models->silero(), &SileroModelStore::changed, this, later);
    }
    connect(&context.store, &RecordStore::changed, this, [this](const QString& table) {
        if (table == QLatin1String(RecordSchema<TranscriptionMode>::table)) {
            reloadUsage();
            refresh();
        }
    });
    connect(&context.settings, &Settings::changed, this, [this](const QString& key) {
        if (key == SharedDefaults::key(SharedDefaultsKey::fallbackTranscriptionModel)) {
            reloadUsage();
            refresh();
        }
    });
    reloadUsage();
    refresh();
}

ModelCard* ModelsSection::addCard(const QString& id, const QString& name, const QString& size,
                                  const QString& description)
{
    auto* card = new ModelCard(id, name, size, description, this);
    connect(card, &ModelCard::downloadRequested, this, &ModelsSection::download);
    connect(card, &ModelCard::cancelRequested, this, &ModelsSection::cancel);
    connect(card, &ModelCard::deleteRequested, this, &ModelsSection::remove);
    m_cards.append(card);
    return card;
}

ModelCard* ModelsSection::card(const QString& id) const
{
    for (ModelCard* card : m_cards)
        if (card->id() == id)
            return card;
    return nullptr;
}

void ModelsSection::activated()
{
    // Another `ovra models` may have changed the folders meanwhile.
    reloadUsage();
    refresh();
}

void ModelsSection::reloadUsage()
{
    m_usedBy.clear();
    const auto modes = m_context.store.fetch<TranscriptionMode>({}, {{QStringLiteral("sortOrder"), true}});
    for (const TranscriptionMode& mode : modes)
        if (const auto model = LocalModelAutoDownloader::localModelOf(mode))
            m_usedBy[*model].append(mode.name);
    m_usedBy[QString::fromLatin1(SileroModelStore::modelID)].append(QStringLiteral("retrait des silences"));
    const auto fallback = m_context.settings.stringValue(SharedDefaultsKey::fallbackTranscriptionModel);
    if (fallback && !fallback->isEmpty())
        m_usedBy[WhisperModel::find(*fallback) ? WhisperModel::normalizedVariant(*fallback) : *fallback].append(
            QStringLiteral("secours hors ligne"));
}

ModelCard::View ModelsSection::viewOf(const QString& id) const
{
    ModelCard::View view;
    view.usedBy = m_usedBy.value(id);
    if (!m_models || (!m_models->isWhisper(id) && !LocalModels::isParakeet(id) && !LocalModels::isVoiceDetector(id))) {
        view.state = ModelCard::State::unavailable;
        return view;
    }
    view.error = m_models->lastError(id);
    if (LocalModels::isVoiceDetector(id)) {
        const SileroModelStore& silero = m_models->silero();
        view.progress = silero.progress();
        view.state = silero.isDownloading()  ? ModelCard::State::downloading
                     : silero.isDownloaded() ? ModelCard::State::ready
                                             : ModelCard::State::notDownloaded;
    } else if (LocalModels::isParakeet(id)) {
        ParakeetTranscriptionService& parakeet = m_models->parakeet();
        switch (parakeet.modelState()) {
        case ParakeetTranscriptionService::ModelState::downloading:
            view.state = ModelCard::State::downloading;
            view.progress = parakeet.downloadProgress();
            break;
        case ParakeetTranscriptionService::ModelState::optimizing: view.state = ModelCard::State::verifying; break;
        case ParakeetTranscriptionService::ModelState::ready: view.state = ModelCard::State::loaded; break;
        case ParakeetTranscriptionService::ModelState::failed:
            view.state = parakeet.isDownloaded() ? ModelCard::State::failed : ModelCard::State::notDownloaded;
            break;
        case ParakeetTranscriptionService::ModelState::notLoaded:
            view.state = parakeet.isDownloaded() ? ModelCard::State::ready : ModelCard::State::notDownloaded;
            break;
        }
    } else {
        const WhisperKitModelStore& store = m_models->whisperStore();
        const WhisperKitTranscriptionService& whisper = m_models->whisper();
        if (store.isDownloading(id)) {
            view.state = store.specializing().contains(id) ? ModelCard::State::verifying
                                                           : ModelCard::State::downloading;
            view.progress = store.progress().value(id);
            std::tie(view.received, view.total) = store.transferred(id);
        } else if (!store.isDownloaded(id)) {
            view.state = ModelCard::State::notDownloaded;
        } else if (whisper.stateModel() == id && whisper.modelState() == WhisperKitTranscriptionService::ModelState::failed) {
            view.state = ModelCard::State::failed;
            view.error = whisper.failureMessage();
        } else if (whisper.loadedModel() == id && whisper.modelState() == WhisperKitTranscriptionService::ModelState::ready) {
            view.state = ModelCard::State::loaded;
        } else {
            view.state = ModelCard::State::ready;
        }
    }
    if (view.state == ModelCard::State::ready || view.state == ModelCard::State::loaded) {
        view.bytesOnDisk = m_models->sizeOnDisk(id);
        view.error.clear(); // an old failure of a model that has since arrived
    }
    return view;
}

void ModelsSection::refresh()
{
    for (ModelCard* card : std::as_const(m_cards))
        card->display(viewOf(card->id()));
}

void ModelsSection::download(const QString& id)
{
    if (m_models)
        m_models->download(id); // its progress and its end come back through the signals
}

void ModelsSection::cancel(const QString& id)
{
    if (m_models)
        m_models->cancel(id);
}

void ModelsSection::remove(const QString& id)
{
    if (!m_models)
        return;
    m_models->remove(id);
    refresh();
}
