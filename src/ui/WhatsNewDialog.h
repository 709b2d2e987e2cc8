#pragma once
// What changed in this version, shown once per version at start ("lastSeenWhatsNewVersion").
#include <QDialog>

class Settings;

class WhatsNewDialog : public QDialog
{
    Q_OBJECT
public:
    WhatsNewDialog(const QString& version, QWidget* parent = nullptr);

    // True when this version's notes were not seen yet. The very first start of the program
    // shows none (there is nothing "new" to someone who never used it) and only records it.
    static bool shouldShow(Settings& settings, const QString& version);
    static void markSeen(Settings& settings, const QString& version);
    static QStringList notes(const QString& version);
};
