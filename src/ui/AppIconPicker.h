#pragma once
// The application-icon picker ("ovra.mac.appIcon"): one choice among the shipped variants,
// applied at once to the window icon. Variants are unlocked by the words dictated (the published
// statistics' total). The settings section embeds it.
#include <QWidget>

class QListWidget;
class Settings;

class AppIconPicker : public QWidget
{
    Q_OBJECT
public:
    explicit AppIconPicker(Settings& settings, QWidget* parent = nullptr);

    // Applies the chosen icon (an unknown choice falls back to the default one).
    static void applyChosenIcon(Settings& settings);
    // The chosen variant when it is known and unlocked, else the default ("").
    static QString chosen(Settings& settings);
    static qint64 totalWords(const Settings& settings);
    // "Débloquée à 1 000 mots dictés (encore 250)."; empty when unlocked.
    static QString lockedText(const QString& choice, qint64 words);

private:
    Settings& m_settings;
    QListWidget* m_list = nullptr;
};
