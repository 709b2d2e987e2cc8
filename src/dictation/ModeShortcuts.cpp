#include "ModeShortcuts.h"

#include "MacPrimaryShortcutHandler.h"
#include "ShortcutRegistry.h"
#include "store/AppSettingsKeys.h"
#include "store/RecordStore.h"
#include "store/Settings.h"

ModeShortcuts::ModeShortcuts(RecordStore& store, Settings& settings, MacPrimaryShortcutHandler& handler,
                             ShortcutRegistry& registry, QObject* parent)
    : QObject(parent), m_store(store), m_settings(settings), m_handler(handler), m_registry(registry)
{
}

void ModeShortcuts::wire()
{
    if (m_wired)
        return;
    m_wired = true;
    QList<QUuid> ids;
    for (const TranscriptionMode& m : m_store.fetch<TranscriptionMode>({}, {{QStringLiteral("sortOrder"), true}}))
        ids << m.id;
    m_handler.registerActions(m_registry, ids);
    connect(&m_store, &RecordStore::changed, this, [this](const QString& table) {
        if (table == QLatin1String(RecordSchema<TranscriptionMode>::table))
            syncModes();
    });
    connect(&m_settings, &Settings::changed, this, [this](const QString& key) {
        if (key == AppSettingsKey::shortcuts)
            rebindAll();
    });
}

void ModeShortcuts::syncModes()
{
    QSet<QUuid> existing;
    for (const TranscriptionMode& m : m_store.fetch<TranscriptionMode>({}, {{QStringLiteral("sortOrder"), true}})) {
        existing.insert(m.id);
        m_handler.registerModeShortcut(m_registry, m.id);
    }
    for (const QUuid& id : m_handler.registeredModes())
        if (!existing.contains(id))
            m_handler.unregisterModeShortcut(m_registry, id);
}

void ModeShortcuts::rebindAll()
{
    for (const QString& name : m_registry.names())
        m_registry.rebind(name);
}
