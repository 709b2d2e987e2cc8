#pragma once
// The application-icon picker ("ovra.mac.appIcon"): one choice among the shipped variants,
// applied at once to the window icon. The settings section embeds it.
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
    static QString chosen(Settings& settings);

private:
    Settings& m_settings;
    QListWidget* m_list = nullptr;
};
