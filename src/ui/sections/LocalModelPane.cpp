#include "LocalModelPane.h"

#include "ai/AppleIntelligenceService.h"
#include "store/AppSettingsKeys.h"
#include "store/Settings.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

LocalModelPane::LocalModelPane(AppleIntelligenceService& service, Settings& settings, QWidget* parent)
    : QGroupBox(QStringLiteral("Modèle local"), parent), m_service(service), m_settings(settings)
{
    m_url = new QLineEdit(settings.stringValue(AppSettingsKey::localModelURL, QString()), this);
    m_url->setPlaceholderText(QString::fromLatin1(AppleIntelligenceService::kDefaultURL));
    m_url->setAccessibleName(QStringLiteral("Adresse du serveur local (Ollama, llama.cpp)"));
    m_model = new QComboBox(this);
    m_model->setEditable(true);
    m_model->setAccessibleName(QStringLiteral("Modèle local"));
    m_model->setCurrentText(settings.stringValue(AppSettingsKey::localModel, QString()));
    m_refresh = new QPushButton(QStringLiteral("Actualiser"), this);
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    auto* intro = new QLabel(QStringLiteral("Le fournisseur « Modèle local » répond avec un serveur que tu fais tourner "
                                            "sur cet ordinateur (Ollama ou llama.cpp), sans clé ni coût."),
                             this);
    intro->setWordWrap(true);
    auto* modelRow = new QHBoxLayout;
    modelRow->addWidget(m_model, 1);
    modelRow->addWidget(m_refresh);
    auto* form = new QFormLayout(this);
    form->addRow(intro);
    form->addRow(QStringLiteral("Serveur"), m_url);
    form->addRow(QStringLiteral("Modèle"), modelRow);
    form->addRow(m_status);

    connect(m_url, &QLineEdit::editingFinished, this, [this] {
        store();
        refresh();
    });
    connect(m_model, &QComboBox::currentTextChanged, this, [this] { store(); });
    connect(m_model, &QComboBox::activated, this, [this] { refresh(); });
    connect(m_refresh, &QPushButton::clicked, this, [this] { refresh(); });
    connect(&service, &AppleIntelligenceService::availabilityChanged, this,
            [this] { m_status->setText(m_service.availabilityMessage().value_or(QStringLiteral("Prêt."))); });
    m_status->setText(service.availabilityMessage().value_or(QStringLiteral("Prêt.")));
}

QString LocalModelPane::statusText() const { return m_status->text(); }

void LocalModelPane::store()
{
    const QString url = m_url->text().trimmed();
    if (url.isEmpty())
        m_settings.remove(AppSettingsKey::localModelURL);
    else
        m_settings.setValue(AppSettingsKey::localModelURL, url);
    m_settings.setValue(AppSettingsKey::localModel, m_model->currentText().trimmed());
}

QCoro::Task<> LocalModelPane::refresh()
{
    QPointer<LocalModelPane> self(this);
    m_refresh->setEnabled(false);
    auto listing = m_service.availableModels();
    const QStringList models = co_await listing;
    if (!self)
        co_return;
    const QString chosen = m_model->currentText();
    const QSignalBlocker blocker(m_model);
    m_model->clear();
    m_model->addItems(models);
    m_model->setCurrentText(chosen);
    auto checking = m_service.checkAvailability();
    const std::optional<QString> message = co_await checking;
    if (!self)
        co_return;
    m_status->setText(message.value_or(QStringLiteral("Prêt.")));
    m_refresh->setEnabled(true);
}
