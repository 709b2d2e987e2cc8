#include "APIKeysPane.h"

#include "ai/SecretsVault.h"
#include "ai/APIKeyVerifier.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

APIKeysPane::APIKeysPane(SecretsVault& vault, APIKeyVerifier& verifier, QWidget* parent)
    : QGroupBox(QStringLiteral("Clés API"), parent), m_vault(vault), m_verifier(verifier)
{
    auto* grid = new QGridLayout(this);
    int line = 0;
    for (const CloudProviderInfo& p : CloudProviderCatalog::all()) {
        Row row{p};
        auto* name = new QLabel(p.displayName, this);
        row.edit = new QLineEdit(this);
        row.edit->setEchoMode(QLineEdit::Password);
        row.edit->setAccessibleName(QStringLiteral("Clé API ") + p.displayName);
        name->setBuddy(row.edit);
        auto* save = new QPushButton(QStringLiteral("Enregistrer"), this);
        save->setAccessibleName(QStringLiteral("Enregistrer la clé ") + p.displayName);
        auto* link = new QLabel(QStringLiteral("<a href=\"%1\">Obtenir une clé</a>").arg(p.consoleURL.toString()), this);
        link->setOpenExternalLinks(true);
        link->setTextInteractionFlags(Qt::TextBrowserInteraction);
        link->setAccessibleName(QStringLiteral("Obtenir une clé ") + p.displayName);
        row.result = new QLabel(this);
        row.result->setWordWrap(true);
        grid->addWidget(name, line, 0);
        grid->addWidget(row.edit, line, 1);
        grid->addWidget(save, line, 2);
        grid->addWidget(link, line, 3);
        grid->addWidget(row.result, line + 1, 1, 1, 3);
        line += 2;
        const QString id = p.id;
        connect(save, &QPushButton::clicked, this, [this, id] { saveKey(id, keyEdit(id)->text()); });
        connect(row.edit, &QLineEdit::returnPressed, this, [this, id] { saveKey(id, keyEdit(id)->text()); });
        m_rows << row;
    }
    m_verify = new QPushButton(QStringLiteral("Tester les clés"), this);
    m_verify->setAccessibleName(QStringLiteral("Tester les clés"));
    grid->addWidget(m_verify, line, 1, 1, 3, Qt::AlignLeft);
    grid->setColumnStretch(1, 1);
    connect(m_verify, &QPushButton::clicked, this, [this] { verifyAll(); });
    connect(&m_vault, &SecretsVault::savedKeysChanged, this, &APIKeysPane::refreshSaved);
    refreshSaved();
}

QLineEdit* APIKeysPane::keyEdit(const QString& providerID) const
{
    for (const Row& r : m_rows)
        if (r.provider.id == providerID)
            return r.edit;
    return nullptr;
}

QString APIKeysPane::resultText(const QString& providerID) const
{
    for (const Row& r : m_rows)
        if (r.provider.id == providerID)
            return r.result->text();
    return {};
}

void APIKeysPane::setResult(Row& row, const QString& text)
{
    row.result->setText(text);
    row.result->setAccessibleName(text);
}

void APIKeysPane::refreshSaved()
{
    for (Row& r : m_rows) {
        const bool saved = m_vault.savedKeys().contains(r.provider.keychainKey);
        r.edit->setPlaceholderText(saved ? QStringLiteral("Clé enregistrée — collez-en une autre pour la remplacer")
                                         : QStringLiteral("Collez votre clé ici"));
    }
}

std::optional<QString> APIKeysPane::saveKey(const QString& providerID, const QString& text)
{
    for (Row& r : m_rows) {
        if (r.provider.id != providerID)
            continue;
        const QString key = text.trimmed();
        if (key.isEmpty()) {
            const QString message = QStringLiteral("Collez d'abord la clé.");
            setResult(r, message);
            return message;
        }
        if (auto ok = m_vault.save(key, r.provider.keychainKey); !ok) {
            setResult(r, ok.error().message());
            return ok.error().message();
        }
        r.edit->clear();
        setResult(r, QStringLiteral("Clé enregistrée."));
        refreshSaved();
        return std::nullopt;
    }
    return QStringLiteral("Fournisseur inconnu : ") + providerID;
}

QCoro::Task<> APIKeysPane::verifyAll()
{
    if (m_verifying)
        co_return;
    m_verifying = true;
    m_verify->setEnabled(false);
    QPointer<APIKeysPane> self(this);
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        const CloudProviderInfo provider = m_rows[i].provider;
        const auto key = m_vault.apiKey(provider.keychainKey);
        if (!key) {
            setResult(m_rows[i], QStringLiteral("Aucune clé enregistrée."));
            continue;
        }
        setResult(m_rows[i], QStringLiteral("Vérification…"));
        auto verifying = m_verifier.verify(provider, *key);
        const auto outcome = co_await verifying;
        if (!self)
            co_return;
        if (!outcome)
            setResult(m_rows[i], outcome.error().errorDescription());
        else if (*outcome)
            setResult(m_rows[i], **outcome);
        else
            setResult(m_rows[i], QStringLiteral("✓ Clé acceptée."));
    }
    m_verifying = false;
    m_verify->setEnabled(true);
    Q_EMIT verificationFinished();
}
