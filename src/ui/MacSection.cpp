#include "MacSection.h"

QList<MacSection> allSections()
{
    return {MacSection::dictation, MacSection::history,  MacSection::notes,   MacSection::modes,
            MacSection::powerMode, MacSection::ovraHelper, MacSection::dictionary, MacSection::prompts,
            MacSection::learning,  MacSection::stats,    MacSection::models,  MacSection::settings};
}

QString sectionTitle(MacSection section)
{
    switch (section) {
    case MacSection::dictation: return QStringLiteral("Dictée");
    case MacSection::history: return QStringLiteral("Historique");
    case MacSection::notes: return QStringLiteral("Notes");
    case MacSection::modes: return QStringLiteral("Modes");
    case MacSection::powerMode: return QStringLiteral("Modes par application");
    case MacSection::ovraHelper: return QStringLiteral("Téléphone");
    case MacSection::dictionary: return QStringLiteral("Dictionnaire");
    case MacSection::prompts: return QStringLiteral("Prompts");
    case MacSection::learning: return QStringLiteral("Apprentissage");
    case MacSection::stats: return QStringLiteral("Statistiques");
    case MacSection::models: return QStringLiteral("Modèles");
    case MacSection::settings: return QStringLiteral("Réglages");
    }
    return {};
}

QString sectionKey(MacSection section)
{
    switch (section) {
    case MacSection::dictation: return QStringLiteral("dictation");
    case MacSection::history: return QStringLiteral("history");
    case MacSection::notes: return QStringLiteral("notes");
    case MacSection::modes: return QStringLiteral("modes");
    case MacSection::powerMode: return QStringLiteral("powerMode");
    case MacSection::ovraHelper: return QStringLiteral("ovraHelper");
    case MacSection::dictionary: return QStringLiteral("dictionary");
    case MacSection::prompts: return QStringLiteral("prompts");
    case MacSection::learning: return QStringLiteral("learning");
    case MacSection::stats: return QStringLiteral("stats");
    case MacSection::models: return QStringLiteral("models");
    case MacSection::settings: return QStringLiteral("settings");
    }
    return {};
}
