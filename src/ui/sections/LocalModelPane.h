#pragma once
// The local language model that stands for the on-device provider ("Modèle local"): the
// server's address, the model chosen among those it offers, and whether it can answer now.
#include <QCoroTask>
#include <QGroupBox>

class AppleIntelligenceService;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class Settings;

class LocalModelPane : public QGroupBox
{
    Q_OBJECT
public:
    LocalModelPane(AppleIntelligenceService& service, Settings& settings, QWidget* parent = nullptr);

    // Asks the server for its models and the chosen one's state.
    QCoro::Task<> refresh();
    QString statusText() const;
    QComboBox* modelBox() const { return m_model; }
    QLineEdit* urlEdit() const { return m_url; }

private:
    void store();

    AppleIntelligenceService& m_service;
    Settings& m_settings;
    QLineEdit* m_url;
    QComboBox* m_model;
    QPushButton* m_refresh;
    QLabel* m_status;
};
