#include "DictationSection.h"

#include "dictation/MacDictationController.h"
#include "platform/Pasteboard.h"
#include "ui/MacNavigation.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const QStringList& audioSuffixes()
{
    static const QStringList s{QStringLiteral("wav"),  QStringLiteral("mp3"), QStringLiteral("m4a"), QStringLiteral("aac"),
                               QStringLiteral("flac"), QStringLiteral("ogg"), QStringLiteral("oga"), QStringLiteral("opus"),
                               QStringLiteral("webm"), QStringLiteral("mp4"), QStringLiteral("mov"), QStringLiteral("mkv"),
                               QStringLiteral("aiff"), QStringLiteral("aif"), QStringLiteral("wma"), QStringLiteral("caf")};
    return s;
}

QString stateText(RecordingState s)
{
    switch (s) {
    case RecordingState::idle: return QStringLiteral("Prêt");
    case RecordingState::recording: return QStringLiteral("Enregistrement…");
    case RecordingState::transcribing: return QStringLiteral("Transcription…");
    case RecordingState::enhancing: return QStringLiteral("Amélioration par l'IA…");
    case RecordingState::finished: return QStringLiteral("Terminé");
    }
    return {};
}

QStringList localFiles(const QMimeData* mime)
{
    QStringList out;
    if (!mime || !mime->hasUrls())
        return out;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile())
            out << url.toLocalFile();
    return out;
}
} // namespace

DictationSection::DictationSection(SectionContext& context, QWidget* parent)
    : Section(MacSection::dictation, parent), m_context(context)
{
    setAcceptDrops(true);
    m_picker = [](QWidget* parent) {
        QStringList patterns;
        for (const QString& s : audioSuffixes())
            patterns << QStringLiteral("*.") + s;
        return QFileDialog::getOpenFileNames(parent, QStringLiteral("Transcrire un fichier"), QString(),
                                             QStringLiteral("Fichiers audio et vidéo (%1);;Tous les fichiers (*)")
                                                 .arg(patterns.join(QLatin1Char(' '))));
    };

    auto* title = new QLabel(sectionTitle(MacSection::dictation), this);
    QFont f = title->font();
    f.setPointSizeF(f.pointSizeF() * 1.6);
    f.setBold(true);
    title->setFont(f);

    m_state = new QLabel(this);
    m_state->setAccessibleName(QStringLiteral("État de la dictée"));
    m_dictate = new QPushButton(this);
    auto* stateRow = new QHBoxLayout;
    stateRow->addWidget(m_state, 1);
    stateRow->addWidget(m_dictate);

    auto* textLabel = new QLabel(QStringLiteral("Dernier texte"), this);
    m_text = new QPlainTextEdit(this);
    m_text->setReadOnly(true);
    m_text->setAccessibleName(QStringLiteral("Dernier texte dicté"));
    m_text->setTabChangesFocus(true);
    m_text->setPlaceholderText(QStringLiteral("Le texte de votre prochaine dictée apparaîtra ici."));
    textLabel->setBuddy(m_text);
    m_copy = new QPushButton(QStringLiteral("Copier"), this);
    m_copy->setAccessibleName(QStringLiteral("Copier le dernier texte"));

    m_errorBox = new QFrame(this);
    m_errorBox->setFrameShape(QFrame::StyledPanel);
    m_error = new QLabel(m_errorBox);
    m_error->setWordWrap(true);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_errorAction = new QPushButton(m_errorBox);
    auto* errorLayout = new QHBoxLayout(m_errorBox);
    auto* icon = new QLabel(m_errorBox);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(24, 24));
    errorLayout->addWidget(icon, 0, Qt::AlignTop);
    errorLayout->addWidget(m_error, 1);
    errorLayout->addWidget(m_errorAction, 0, Qt::AlignTop);

    m_dropZone = new QFrame(this);
    m_dropZone->setFrameShape(QFrame::Box);
    m_dropZone->setFrameShadow(QFrame::Sunken);
    m_dropZone->setMinimumHeight(110);
    m_dropZone->setAccessibleName(QStringLiteral("Zone de dépôt de fichiers audio"));
    auto* dropLabel = new QLabel(QStringLiteral("Déposez ici un fichier audio ou vidéo à transcrire"), m_dropZone);
    dropLabel->setAlignment(Qt::AlignCenter);
    dropLabel->setWordWrap(true);
    m_pick = new QPushButton(QStringLiteral("Choisir un fichier…"), m_dropZone);
    m_pick->setAccessibleName(QStringLiteral("Choisir un fichier à transcrire"));
    m_fileStatus = new QLabel(m_dropZone);
    m_fileStatus->setWordWrap(true);
    m_fileStatus->setAlignment(Qt::AlignCenter);
    auto* dropLayout = new QVBoxLayout(m_dropZone);
    dropLayout->addStretch();
    dropLayout->addWidget(dropLabel);
    dropLayout->addWidget(m_pick, 0, Qt::AlignCenter);
    dropLayout->addWidget(m_fileStatus);
    dropLayout->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addLayout(stateRow);
    layout->addWidget(m_errorBox);
    layout->addWidget(textLabel);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_copy, 0, Qt::AlignRight);
    layout->addWidget(m_dropZone);

    MacDictationController& controller = context.controller;
    connect(&controller, &MacDictationController::stateChanged, this, &DictationSection::refreshState);
    connect(&controller, &MacDictationController::lastTextChanged, this, &DictationSection::refreshText);
    connect(&controller, &MacDictationController::errorMessageChanged, this, &DictationSection::refreshError);
    connect(m_dictate, &QPushButton::clicked, this, [this] {
        MacDictationController& c = m_context.controller;
        if (c.state() == RecordingState::recording)
            c.stop();
        else if (c.state() == RecordingState::idle || c.state() == RecordingState::finished)
            c.start(DictationTrigger::window);
    });
    connect(m_copy, &QPushButton::clicked, this, [this] {
        if (!m_text->toPlainText().isEmpty())
            m_context.pasteboard.setText(m_text->toPlainText());
    });
    connect(m_errorAction, &QPushButton::clicked, this, &DictationSection::triggerErrorAction);
    connect(m_pick, &QPushButton::clicked, this, &DictationSection::openFilePicker);
    connect(&context.navigation, &MacNavigation::pendingTranscribePickerChanged, this, [this] {
        // Let the window show this section first.
        QTimer::singleShot(0, this, &DictationSection::takePendingPicker);
    });

    refreshState();
    refreshText();
    refreshError();
}

void DictationSection::activated()
{
    takePendingPicker();
}

void DictationSection::takePendingPicker()
{
    if (!m_context.navigation.pendingTranscribePicker())
        return;
    m_context.navigation.setPendingTranscribePicker(false);
    openFilePicker();
}

void DictationSection::openFilePicker()
{
    if (m_filesRunning)
        return;
    const QStringList files = m_picker(this);
    if (!files.isEmpty())
        transcribeFiles(files);
}

QCoro::Task<> DictationSection::transcribeFiles(QStringList paths)
{
    if (m_filesRunning)
        co_return;
    m_filesRunning = true;
    m_pick->setEnabled(false);
    QPointer<DictationSection> self(this);
    QStringList problems;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.isFile() || !info.isReadable()) {
            problems << QStringLiteral("« %1 » est introuvable ou illisible.").arg(info.fileName());
            continue;
        }
        m_fileStatus->setText(QStringLiteral("Transcription de « %1 »…").arg(info.fileName()));
        auto transcribing = m_context.controller.transcribeFile(path);
        co_await transcribing;
        if (!self)
            co_return;
    }
    m_filesRunning = false;
    m_pick->setEnabled(true);
    m_fileStatus->setText(problems.join(QLatin1Char('\n')));
    Q_EMIT filesDone();
}

void DictationSection::dragEnterEvent(QDragEnterEvent* event)
{
    if (!m_filesRunning && !localFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void DictationSection::dropEvent(QDropEvent* event)
{
    const QStringList files = localFiles(event->mimeData());
    if (files.isEmpty() || m_filesRunning)
        return;
    event->acceptProposedAction();
    transcribeFiles(files);
}

void DictationSection::refreshState()
{
    const RecordingState s = m_context.controller.state();
    m_state->setText(stateText(s));
    const bool recording = s == RecordingState::recording;
    const bool ready = s == RecordingState::idle || s == RecordingState::finished;
    m_dictate->setText(recording ? QStringLiteral("Arrêter la dictée") : QStringLiteral("Dicter"));
    m_dictate->setAccessibleName(m_dictate->text());
    m_dictate->setEnabled(recording || ready);
    m_pick->setEnabled(ready && !m_filesRunning);
}

void DictationSection::refreshText()
{
    m_text->setPlainText(m_context.controller.lastText().value_or(QString()));
    m_copy->setEnabled(!m_text->toPlainText().isEmpty());
}

QString DictationSection::errorActionText() const
{
    const auto& error = m_context.controller.errorMessage();
    if (!error)
        return {};
    // The speech of a failed dictation was kept: it can be transcribed again.
    if (m_context.controller.lastFailedRecordingID())
        return retryText();
    if (m_context.controller.errorIsMicPermission())
        return QStringLiteral("Réglages du micro");
    if (error->contains(QLatin1String("API key"), Qt::CaseInsensitive) ||
        error->contains(QLatin1String("clé"), Qt::CaseInsensitive))
        return QStringLiteral("Ouvrir les réglages");
    return {};
}

QString DictationSection::retryText() { return QStringLiteral("Réessayer"); }

void DictationSection::triggerErrorAction()
{
    const QString action = errorActionText();
    if (action == retryText())
        m_context.controller.retryFailed(m_context.controller.lastFailedRecordingID());
    else if (!action.isEmpty())
        m_context.navigation.select(MacSection::settings);
}

void DictationSection::refreshError()
{
    const auto& error = m_context.controller.errorMessage();
    m_errorBox->setVisible(error.has_value() && !error->isEmpty());
    m_error->setText(error.value_or(QString()));
    m_error->setAccessibleName(error.value_or(QString()));
    const QString action = errorActionText();
    m_errorAction->setText(action);
    m_errorAction->setAccessibleName(action);
    m_errorAction->setVisible(!action.isEmpty());
}

QString DictationSection::errorText() const { return m_error->text(); }
QString DictationSection::lastText() const { return m_text->toPlainText(); }
QString DictationSection::fileStatus() const { return m_fileStatus->text(); }
