#pragma once
// One row per cloud provider to paste and save its API key, and "Tester les clés" that checks
// every saved key with the provider.
#include "ai/CloudProviderCatalog.h"

#include <QCoroTask>
#include <QGroupBox>
#include <QHash>

class APIKeyVerifier;
class QLabel;
class QLineEdit;
class QPushButton;
class SecretsVault;

class APIKeysPane : public QGroupBox
{
    Q_OBJECT
public:
    APIKeysPane(SecretsVault& vault, APIKeyVerifier& verifier, QWidget* parent = nullptr);

    // Error message when the key is not stored.
    std::optional<QString> saveKey(const QString& providerID, const QString& text);
    QCoro::Task<> verifyAll();
    QString resultText(const QString& providerID) const;
    QLineEdit* keyEdit(const QString& providerID) const;

Q_SIGNALS:
    void verificationFinished();

private:
    struct Row
    {
        CloudProviderInfo provider;
        QLineEdit* edit = nullptr;
        QLabel* result = nullptr;
    };
    void refreshSaved();
    void setResult(Row& row, const QString& text);

    SecretsVault& m_vault;
    APIKeyVerifier& m_verifier;
    QList<Row> m_rows;
    QPushButton* m_verify;
    bool m_verifying = false;
};
