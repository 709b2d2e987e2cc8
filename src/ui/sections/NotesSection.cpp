#include "NotesSection.h"

#include "dictation/MacDictationController.h"
#include "store/AppSettingsKeys.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "ui/MacNavigation.h"
#include "ui/widgets/MarkdownView.h"
#include "ui/widgets/ProposalDiffView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kSaveDelayMs = 600;
constexpr int kPreviewDelayMs = 400;

QString bubbleHtml(const AssistantBubble& b)
{
    const bool mine = b.role != QLatin1String("assistant");
    QString html = QStringLiteral("<p style='margin:6px 0'><b>%1</b><br>%2")
                       .arg(mine ? QStringLiteral("Toi") : QStringLiteral("Assistant"),
                            b.text.toHtmlEscaped().replace(u'\n', QStringLiteral("<br>")));
    if (b.proposal)
        html += QStringLiteral("<br><i>Proposition jointe (%1 caractères)</i>").arg(b.proposal->size());
    return html + QStringLiteral("</p>");
}
} // namespace

NotesSection::NotesSection(SectionContext& context, QWidget* parent)
    : Section(MacSection::notes, parent), m_context(context)
{
    if (context.chat)
        m_assistant = std::make_unique<NotesAssistant>(*context.chat, context.settings);

    m_search = new QLineEdit(this);
    m_search->setPlaceholderText(QStringLiteral("Rechercher dans les notes"));
    m_search->setAccessibleName(QStringLiteral("Rechercher dans les notes"));
    m_search->setClearButtonEnabled(true);
    m_favoritesOnly = new QCheckBox(QStringLiteral("Favoris seulement"), this);
    m_list = new QListWidget(this);
    m_list->setAccessibleName(QStringLiteral("Notes"));
    m_new = new QPushButton(QStringLiteral("Nouvelle note"), this);
    m_delete = new QPushButton(QStringLiteral("Supprimer…"), this);
    m_delete->setAccessibleName(QStringLiteral("Supprimer la note"));

    m_title = new QLineEdit(this);
    m_title->setPlaceholderText(QStringLiteral("Titre (sinon la première ligne)"));
    m_title->setAccessibleName(QStringLiteral("Titre de la note"));
    m_favorite = new QCheckBox(QStringLiteral("Favori"), this);
    m_mode = new QComboBox(this);
    m_mode->setAccessibleName(QStringLiteral("Mode de dictée de la note"));
    m_mode->setMinimumContentsLength(12);
    m_mic = new QPushButton(QStringLiteral("Dicter"), this);
    m_mic->setAccessibleName(QStringLiteral("Dicter dans la note"));
    m_assistantToggle = new QPushButton(QStringLiteral("Assistant IA"), this);
    m_assistantToggle->setCheckable(true);
    m_editor = new QPlainTextEdit(this);
    m_editor->setAccessibleName(QStringLiteral("Texte de la note"));
    // Tab moves on, as in every other field: a keyboard user must be able to leave the editor.
    m_editor->setTabChangesFocus(true);
    m_preview = new MarkdownView(this);
    m_preview->setAccessibleName(QStringLiteral("Aperçu de la note"));
    m_tabs = new QTabWidget(this);
    m_tabs->addTab(m_editor, QStringLiteral("Texte"));
    m_tabs->addTab(m_preview, QStringLiteral("Aperçu"));

    m_assistantPanel = new QWidget(this);
    m_bubbles = new QTextBrowser(m_assistantPanel);
    m_bubbles->setAccessibleName(QStringLiteral("Conversation avec l'assistant"));
    m_status = new QLabel(m_assistantPanel);
    m_status->setWordWrap(true);
    m_question = new QLineEdit(m_assistantPanel);
    m_question->setPlaceholderText(QStringLiteral("Demande à l'assistant (reformule, résume, corrige…)"));
    m_question->setAccessibleName(QStringLiteral("Message à l'assistant"));
    m_send = new QPushButton(QStringLiteral("Envoyer"), m_assistantPanel);
    m_proposal = new ProposalDiffView(m_assistantPanel);
    m_proposal->setTitle(QStringLiteral("Proposition"));
    m_apply = new QPushButton(QStringLiteral("Appliquer la proposition à la note"), m_assistantPanel);

    auto* listSide = new QWidget(this);
    auto* listLayout = new QVBoxLayout(listSide);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->addWidget(m_search);
    listLayout->addWidget(m_favoritesOnly);
    listLayout->addWidget(m_list, 1);
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(m_new);
    listButtons->addWidget(m_delete);
    listLayout->addLayout(listButtons);

    auto* editorSide = new QWidget(this);
    auto* editorLayout = new QVBoxLayout(editorSide);
    editorLayout->setContentsMargins(0, 0, 0, 0);
    auto* head = new QHBoxLayout;
    head->addWidget(m_title, 1);
    head->addWidget(m_favorite);
    editorLayout->addLayout(head);
    auto* tools = new QHBoxLayout;
    tools->addWidget(new QLabel(QStringLiteral("Mode :"), editorSide));
    tools->addWidget(m_mode, 1);
    tools->addWidget(m_mic);
    tools->addStretch();
    tools->addWidget(m_assistantToggle);
    editorLayout->addLayout(tools);
    editorLayout->addWidget(m_tabs, 1);

    auto* panelLayout = new QVBoxLayout(m_assistantPanel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    auto* panelTitle = new QLabel(QStringLiteral("<b>Assistant IA</b>"), m_assistantPanel);
    panelLayout->addWidget(panelTitle);
    panelLayout->addWidget(m_bubbles, 2);
    panelLayout->addWidget(m_status);
    auto* askRow = new QHBoxLayout;
    askRow->addWidget(m_question, 1);
    askRow->addWidget(m_send);
    panelLayout->addLayout(askRow);
    panelLayout->addWidget(m_proposal, 3);
    panelLayout->addWidget(m_apply);
    m_assistantPanel->hide();

    auto* splitter = new QSplitter(this);
    splitter->addWidget(listSide);
    splitter->addWidget(editorSide);
    splitter->addWidget(m_assistantPanel);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 3);
    splitter->setStretchFactor(2, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);

    m_saveTimer = new QTimer(this);
    m_saveTimer->setSingleShot(true);
    m_saveTimer->setInterval(kSaveDelayMs);
    m_previewTimer = new QTimer(this);
    m_previewTimer->setSingleShot(true);
    m_previewTimer->setInterval(kPreviewDelayMs);
    connect(m_saveTimer, &QTimer::timeout, this, &NotesSection::flush);
    // The preview is made after a pause in typing, and only while it is visible.
    connect(m_previewTimer, &QTimer::timeout, this, &NotesSection::renderPreview);
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int) { renderPreview(); });

    connect(m_search, &QLineEdit::textChanged, this, &NotesSection::setSearch);
    connect(m_favoritesOnly, &QCheckBox::toggled, this, &NotesSection::setFavoritesOnly);
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!m_loading && row >= 0 && row < m_shown.size())
            openNote(m_shown[row].id);
    });
    connect(m_new, &QPushButton::clicked, this, &NotesSection::newNote);
    connect(m_delete, &QPushButton::clicked, this, [this] {
        if (!m_noteID)
            return;
        if (QMessageBox::question(this, QStringLiteral("Supprimer la note"), QStringLiteral("Supprimer cette note ?")) ==
            QMessageBox::Yes)
            deleteOpenNote();
    });
    connect(m_editor, &QPlainTextEdit::textChanged, this, &NotesSection::scheduleSave);
    connect(m_title, &QLineEdit::textEdited, this, &NotesSection::scheduleSave);
    connect(m_favorite, &QCheckBox::toggled, this, [this] {
        scheduleSave();
        flush();
    });
    connect(m_mode, &QComboBox::activated, this, [this] {
        scheduleSave();
        flush();
    });
    connect(m_mic, &QPushButton::clicked, this, &NotesSection::toggleDictation);
    connect(m_assistantToggle, &QPushButton::toggled, this, &NotesSection::setAssistantVisible);
    connect(m_send, &QPushButton::clicked, this, [this] { ask(m_question->text()); });
    connect(m_question, &QLineEdit::returnPressed, this, [this] { ask(m_question->text()); });
    connect(m_apply, &QPushButton::clicked, this, &NotesSection::applyProposal);
    connect(&context.controller, &MacDictationController::lastTextChanged, this, &NotesSection::dictationText);
    connect(&context.controller, &MacDictationController::stateChanged, this, [this](RecordingState s) {
        m_mic->setText(s == RecordingState::recording && m_dictating ? QStringLiteral("Arrêter")
                                                                      : QStringLiteral("Dicter"));
        if (s == RecordingState::idle)
            m_dictating = false;
    });
    connect(&context.navigation, &MacNavigation::pendingNoteIDChanged, this, [this] {
        if (const auto id = m_context.navigation.pendingNoteID()) {
            reload();
            openNote(*id);
        }
    });
    connect(&context.store, &RecordStore::changed, this, [this](const QString& table) {
        if (table == QLatin1String(RecordSchema<Note>::table) && !m_dirty)
            reload();
        else if (table == QLatin1String(RecordSchema<TranscriptionMode>::table))
            reloadModes();
    });
    if (m_assistant)
        connect(m_assistant.get(), &NotesAssistant::isThinkingChanged, this, [this] { renderConversation(); });
    reloadModes();
    reload();
    showNote(std::nullopt);
    setAssistantVisible(context.settings.boolValue(AppSettingsKey::notesAssistantVisible, false));
}

NotesSection::~NotesSection() { flush(); }

void NotesSection::activated()
{
    reload();
    if (const auto id = m_context.navigation.pendingNoteID()) {
        openNote(*id);
        m_context.navigation.setPendingNoteID(std::nullopt);
    } else if (!m_noteID && !m_shown.isEmpty()) {
        openNote(m_shown.first().id);
    }
}

void NotesSection::reloadModes()
{
    const QVariant current = m_mode->currentData();
    m_mode->clear();
    m_mode->addItem(QStringLiteral("Mode actif"), QString());
    for (const TranscriptionMode& m : m_context.store.fetch<TranscriptionMode>({}, {{QStringLiteral("sortOrder"), true}}))
        m_mode->addItem(m.name, m.id.toString());
    const int index = m_mode->findData(current);
    m_mode->setCurrentIndex(index < 0 ? 0 : index);
}

void NotesSection::reload()
{
    m_all = m_context.store.fetch<Note>({}, {{QStringLiteral("updatedAt"), false}});
    const QString search = m_search->text().trimmed();
    m_shown.clear();
    for (const Note& n : m_all) {
        if (m_favoritesOnly->isChecked() && !n.isFavorite)
            continue;
        if (!search.isEmpty() && !n.title.contains(search, Qt::CaseInsensitive) &&
            !n.content.contains(search, Qt::CaseInsensitive))
            continue;
        m_shown << n;
    }
    m_loading = true;
    m_list->clear();
    for (const Note& n : m_shown) {
        QString title = n.displayTitle();
        if (title.size() > 80)
            title = title.left(79) + QStringLiteral("…");
        m_list->addItem((n.isFavorite ? QStringLiteral("★ ") : QString()) + title);
        if (m_noteID && n.id == *m_noteID)
            m_list->setCurrentRow(m_list->count() - 1);
    }
    m_loading = false;
}

void NotesSection::setSearch(const QString& text)
{
    if (m_search->text() != text)
        m_search->setText(text);
    reload();
}

void NotesSection::setFavoritesOnly(bool on)
{
    if (m_favoritesOnly->isChecked() != on)
        m_favoritesOnly->setChecked(on);
    reload();
}

void NotesSection::openNote(const QUuid& id)
{
    if (m_noteID && *m_noteID == id)
        return;
    flush();
    showNote(m_context.store.find<Note>(id));
    // The list only moves its selection: reading every note again costs too much for a 1 MB one.
    m_loading = true;
    const auto row = std::find_if(m_shown.begin(), m_shown.end(), [&](const Note& n) { return n.id == id; });
    if (row == m_shown.end())
        reload();
    else
        m_list->setCurrentRow(int(row - m_shown.begin()));
    m_loading = false;
}

void NotesSection::showNote(const std::optional<Note>& note)
{
    m_loading = true;
    m_noteID = note ? std::optional<QUuid>(note->id) : std::nullopt;
    m_title->setText(note ? note->title : QString());
    m_favorite->setChecked(note && note->isFavorite);
    m_editor->setPlainText(note ? note->content : QString());
    const int mode = note && note->recordingModeID ? m_mode->findData(note->recordingModeID->toString()) : 0;
    m_mode->setCurrentIndex(mode < 0 ? 0 : mode);
    for (QWidget* w : {static_cast<QWidget*>(m_title), static_cast<QWidget*>(m_favorite), static_cast<QWidget*>(m_editor),
                       static_cast<QWidget*>(m_mic), static_cast<QWidget*>(m_delete), static_cast<QWidget*>(m_mode)})
        w->setEnabled(note.has_value());
    m_conversation = PersistedConversation::fromJson(note ? note->assistantTranscriptJSON : std::nullopt);
    m_assistantError.clear();
    m_loading = false;
    m_dirty = false;
    renderConversation();
    m_previewTimer->start();
}

void NotesSection::scheduleSave()
{
    if (m_loading || !m_noteID)
        return;
    m_dirty = true;
    m_saveTimer->start();
    m_previewTimer->start();
}

void NotesSection::flush()
{
    m_saveTimer->stop();
    if (!m_dirty || !m_noteID)
        return;
    m_dirty = false;
    // Read again so the conversation and anything else written meanwhile stay as they are.
    auto note = m_context.store.find<Note>(*m_noteID);
    if (!note)
        return;
    note->title = m_title->text().trimmed();
    note->content = m_editor->toPlainText();
    note->isFavorite = m_favorite->isChecked();
    const QString mode = m_mode->currentData().toString();
    note->recordingModeID = mode.isEmpty() ? std::nullopt : std::optional<QUuid>(QUuid::fromString(mode));
    (void)m_context.store.update(*note);
    reload();
}

void NotesSection::newNote()
{
    flush();
    Note note;
    if (!m_context.store.insert(note))
        return;
    reload();
    openNote(note.id);
    m_editor->setFocus();
}

void NotesSection::deleteOpenNote()
{
    if (!m_noteID)
        return;
    m_saveTimer->stop();
    m_dirty = false;
    (void)m_context.store.remove<Note>(*m_noteID);
    showNote(std::nullopt);
    reload();
}

void NotesSection::renderPreview()
{
    if (m_tabs->currentWidget() != m_preview)
        return;
    m_preview->setMarkdownText(m_editor->toPlainText());
}

void NotesSection::setAssistantVisible(bool on)
{
    if (m_assistantToggle->isChecked() != on)
        m_assistantToggle->setChecked(on);
    m_assistantPanel->setVisible(on);
    if (m_context.settings.boolValue(AppSettingsKey::notesAssistantVisible, false) != on)
        m_context.settings.setValue(AppSettingsKey::notesAssistantVisible, on);
    renderConversation();
}

bool NotesSection::assistantVisible() const { return m_assistantToggle->isChecked(); }

QString NotesSection::conversationText() const { return m_bubbles->toPlainText(); }
QString NotesSection::assistantStatus() const { return m_status->text(); }

void NotesSection::renderConversation()
{
    QString html;
    for (const AssistantBubble& b : m_conversation.messages)
        html += bubbleHtml(b);
    m_bubbles->setHtml(html);
    const bool thinking = m_assistant && m_assistant->isThinking();
    if (!m_assistant)
        m_status->setText(QStringLiteral("L'assistant n'est pas disponible ici."));
    else if (thinking)
        m_status->setText(NotesAssistant::thinkingText());
    else
        m_status->setText(m_assistantError);
    m_send->setEnabled(m_assistant && !thinking && m_noteID);
    m_question->setEnabled(m_assistant && m_noteID);
    const bool hasProposal = m_conversation.latestProposal.has_value();
    m_proposal->setVisible(hasProposal);
    m_apply->setVisible(hasProposal);
    if (hasProposal && !m_assistantPanel->isHidden()) {
        m_proposal->setTexts(m_editor->toPlainText(), *m_conversation.latestProposal);
        m_proposal->setShowDiff(true);
    }
}

QCoro::Task<> NotesSection::ask(QString message)
{
    message = message.trimmed();
    if (!m_assistant || !m_noteID || message.isEmpty() || m_assistant->isThinking())
        co_return;
    QPointer<NotesSection> self(this);
    flush();
    const QUuid noteID = *m_noteID;
    m_question->clear();
    m_assistantError.clear();
    auto sending = m_assistant->send(m_conversation, m_editor->toPlainText(), message);
    const auto result = co_await sending;
    if (!self)
        co_return;
    if (!result) {
        const APIError& e = result.error();
        m_assistantError = e.kind() == APIError::Kind::serverError && e.status() == 0 && e.message()
                               ? *e.message()
                               : e.errorDescription();
        if (m_noteID == noteID && m_question->text().isEmpty())
            m_question->setText(message); // the question is not lost
        renderConversation();
        co_return;
    }
    // Stored with its note even when another note is open by now.
    (void)NotesAssistant::save(m_context.store, noteID, *result);
    if (m_noteID == noteID)
        m_conversation = *result;
    renderConversation();
}

void NotesSection::applyProposal()
{
    if (!m_noteID || !m_conversation.latestProposal)
        return;
    flush();
    if (!NotesAssistant::apply(m_context.store, *m_noteID, m_conversation))
        return;
    const auto note = m_context.store.find<Note>(*m_noteID);
    m_loading = true;
    m_editor->setPlainText(note ? note->content : QString());
    m_loading = false;
    renderConversation();
    m_previewTimer->start();
    reload();
}

void NotesSection::toggleDictation()
{
    MacDictationController& c = m_context.controller;
    if (m_dictating && c.state() == RecordingState::recording) {
        c.stop();
        return;
    }
    if (!m_noteID || (c.state() != RecordingState::idle && c.state() != RecordingState::finished))
        return;
    flush();
    const QString modeID = m_mode->currentData().toString();
    if (!modeID.isEmpty())
        if (const auto mode = m_context.store.find<TranscriptionMode>(QUuid::fromString(modeID)))
            c.setActiveMode(*mode);
    m_dictating = true;
    c.start(MacDictationController::Trigger::window);
}

void NotesSection::dictationText()
{
    const auto& text = m_context.controller.lastText();
    if (!m_dictating || !text || text->isEmpty() || !m_noteID)
        return;
    m_dictating = false;
    QTextCursor cursor = m_editor->textCursor();
    const QString before = cursor.position() > 0 ? m_editor->toPlainText().mid(cursor.position() - 1, 1) : QString();
    cursor.insertText((before.isEmpty() || before.at(0).isSpace() ? QString() : QStringLiteral(" ")) + *text);
    m_editor->setTextCursor(cursor);
    flush();
}
