#include "LearningSection.h"

#include "ai/LearningAnalyzer.h"
#include "store/RecordStore.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

LearningSection::LearningSection(SectionContext& context, QWidget* parent)
    : Section(MacSection::learning, parent), m_context(context)
{
    auto* intro = new QLabel(QStringLiteral("Ovra compare tes dictées à tes corrections et propose du vocabulaire et des "
                                            "règles de style. Rien n'est appliqué sans ton accord."),
                             this);
    intro->setWordWrap(true);
    m_analyze = new QPushButton(QStringLiteral("Analyser mes corrections"), this);
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    m_accepted = new QLabel(this);
    m_accepted->setWordWrap(true);
    auto* cardsHolder = new QWidget(this);
    m_cards = new QVBoxLayout(cardsHolder);
    m_cards->addStretch();
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setWidget(cardsHolder);
    scroll->setAccessibleName(QStringLiteral("Suggestions à examiner"));

    auto* top = new QHBoxLayout;
    top->addWidget(m_analyze);
    top->addWidget(m_status, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(top);
    layout->addWidget(scroll, 1);
    layout->addWidget(m_accepted);

    connect(m_analyze, &QPushButton::clicked, this, [this] { analyze(); });
    if (context.learning) {
        connect(context.learning, &LearningAnalyzer::isAnalyzingChanged, this, [this](bool running) {
            m_analyze->setEnabled(!running);
            if (running)
                m_status->setText(LearningAnalyzer::runningMessage());
        });
    } else {
        m_analyze->setEnabled(false);
        m_status->setText(QStringLiteral("L'analyse n'est pas disponible ici."));
    }
    connect(&context.store, &RecordStore::changed, this, [this](const QString& table) {
        if (table == QLatin1String(RecordSchema<LearningSuggestion>::table) ||
            table == QLatin1String(RecordSchema<PromptPreset>::table))
            reload();
    });
    reload();
}

void LearningSection::activated() { reload(); }

QString LearningSection::statusText() const { return m_status->text(); }

QCoro::Task<> LearningSection::analyze()
{
    LearningAnalyzer* analyzer = m_context.learning;
    if (!analyzer || analyzer->isAnalyzing())
        co_return;
    QPointer<LearningSection> self(this);
    m_status->setText(LearningAnalyzer::runningMessage());
    auto analyzing = analyzer->analyzeStore(m_context.store);
    const LearningAnalyzer::Outcome outcome = co_await analyzing;
    if (!self)
        co_return;
    if (outcome.failed && analyzer->lastError())
        m_status->setText(*analyzer->lastError());
    else
        m_status->setText(LearningAnalyzer::outcomeMessage(outcome));
    reload();
}

void LearningSection::reload()
{
    m_pending = m_context.store.fetch<LearningSuggestion>(
        [](const LearningSuggestion& s) { return s.statusRaw == QLatin1String("pending"); },
        {{QStringLiteral("createdAt"), false}});
    const QList<PromptPreset> presets = m_context.store.fetch<PromptPreset>(
        [](const PromptPreset& p) { return !p.isTrashed; }, {{QStringLiteral("sortOrder"), true}});
    while (m_cards->count() > 1) {
        QLayoutItem* item = m_cards->takeAt(0);
        delete item->widget();
        delete item;
    }
    for (qsizetype i = 0; i < m_pending.size(); ++i)
        m_cards->insertWidget(int(i), card(m_pending[i], presets));
    const qsizetype rules = m_context.store
                                .fetch<LearningSuggestion>([](const LearningSuggestion& s) {
                                    return s.statusRaw == QLatin1String("accepted") &&
                                           s.kindRaw == QLatin1String("styleRule");
                                })
                                .size();
    m_accepted->setText(rules == 0 ? QString()
                                   : QStringLiteral("%1 règle(s) de style acceptée(s) guident déjà les réécritures.")
                                         .arg(rules));
}

QWidget* LearningSection::card(const LearningSuggestion& s, const QList<PromptPreset>& presets)
{
    auto* frame = new QFrame;
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setAccessibleName(s.title);
    auto* layout = new QVBoxLayout(frame);
    const bool vocabulary = s.kindRaw == QLatin1String("newEntry");
    auto* title = new QLabel(QStringLiteral("<b>%1</b> — %2")
                                 .arg(s.title.toHtmlEscaped(),
                                      vocabulary ? QStringLiteral("vocabulaire") : QStringLiteral("règle de style")),
                             frame);
    auto* rationale = new QLabel(s.rationale, frame);
    rationale->setWordWrap(true);
    QString details;
    if (vocabulary) {
        details = QStringLiteral("Terme : ") + s.suggestedTerm.value_or(QString());
        if (!s.suggestedPronunciationsRaw.value_or(QString()).isEmpty())
            details += QStringLiteral("  ·  entendu : ") + s.suggestedPronunciationsRaw->split(u',').join(QStringLiteral(", "));
        if (s.suggestedReplacement)
            details += QStringLiteral("  ·  remplacé par : ") + *s.suggestedReplacement;
    } else {
        details = s.suggestedPromptText.value_or(QString());
    }
    auto* detailLabel = new QLabel(details, frame);
    detailLabel->setWordWrap(true);
    detailLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(title);
    layout->addWidget(rationale);
    layout->addWidget(detailLabel);

    auto* buttons = new QHBoxLayout;
    QComboBox* preset = nullptr;
    if (!vocabulary) {
        preset = new QComboBox(frame);
        preset->setAccessibleName(QStringLiteral("Prompt auquel la règle s'applique"));
        preset->addItem(QStringLiteral("Dictées sans prompt"), QString());
        for (const PromptPreset& p : presets)
            preset->addItem(QStringLiteral("Prompt « %1 »").arg(p.name), p.id.toString());
        buttons->addWidget(new QLabel(QStringLiteral("S'applique à :"), frame));
        buttons->addWidget(preset, 1);
    } else {
        buttons->addStretch();
    }
    auto* acceptButton = new QPushButton(QStringLiteral("Accepter"), frame);
    auto* refuseButton = new QPushButton(QStringLiteral("Refuser"), frame);
    buttons->addWidget(acceptButton);
    buttons->addWidget(refuseButton);
    layout->addLayout(buttons);
    const QUuid id = s.id;
    connect(acceptButton, &QPushButton::clicked, this, [this, id, preset] {
        const QString chosen = preset ? preset->currentData().toString() : QString();
        accept(id, chosen.isEmpty() ? std::nullopt : std::optional<QUuid>(QUuid::fromString(chosen)));
    });
    connect(refuseButton, &QPushButton::clicked, this, [this, id] { reject(id); });
    return frame;
}

void LearningSection::accept(const QUuid& id, std::optional<QUuid> presetID)
{
    RecordStore& store = m_context.store;
    const StoreResult saved = store.save([&]() -> StoreResult {
        auto s = store.find<LearningSuggestion>(id);
        if (!s || s->statusRaw != QLatin1String("pending"))
            return {};
        if (s->kindRaw == QLatin1String("newEntry")) {
            const QString term = s->suggestedTerm.value_or(QString()).trimmed();
            // A term already in the dictionary gains the heard forms instead of a twin entry.
            auto existing = store.fetch<DictionaryEntry>(
                [&](const DictionaryEntry& e) { return e.term.compare(term, Qt::CaseInsensitive) == 0; });
            DictionaryEntry entry = existing.isEmpty() ? DictionaryEntry{} : existing.first();
            if (existing.isEmpty()) {
                entry.term = term;
                entry.origin = QStringLiteral("learning");
                if (s->suggestedScopesRaw != 0)
                    entry.scopesRaw = s->suggestedScopesRaw;
                entry.replacement = s->suggestedReplacement;
            }
            QStringList heard = entry.pronunciations();
            for (const QString& p : s->suggestedPronunciationsRaw.value_or(QString()).split(u',', Qt::SkipEmptyParts))
                if (!heard.contains(p, Qt::CaseInsensitive))
                    heard << p;
            entry.setPronunciations(heard);
            if (auto r = store.update(entry); !r)
                return r;
        } else {
            s->appliedToPresetID = presetID;
        }
        s->statusRaw = QStringLiteral("accepted");
        s->reviewedAt = QDateTime::currentDateTimeUtc();
        return store.replace(*s);
    });
    if (!saved)
        m_status->setText(saved.error().message);
    reload();
}

void LearningSection::reject(const QUuid& id)
{
    RecordStore& store = m_context.store;
    const StoreResult saved = store.save([&]() -> StoreResult {
        auto s = store.find<LearningSuggestion>(id);
        if (!s)
            return {};
        s->statusRaw = QStringLiteral("rejected");
        s->reviewedAt = QDateTime::currentDateTimeUtc();
        return store.replace(*s);
    });
    if (!saved)
        m_status->setText(saved.error().message);
    reload();
}
