#pragma once
// The on-device speech models: the Whisper catalogue and the NVIDIA models, each with its
// state, download progress, last error and the modes that use it; download, cancel and delete.
// Follows the model store and the services as they change, whoever started the download.
#include "ModelCard.h"
#include "ui/Section.h"

#include <QHash>
#include <QList>
#include <QTimer>

class LocalModels;
struct SectionContext;

class ModelsSection : public Section
{
    Q_OBJECT
public:
    ModelsSection(SectionContext& context, QWidget* parent = nullptr);

    ModelCard* card(const QString& id) const;
    QList<ModelCard*> cards() const { return m_cards; }
    void activated() override;

private:
    ModelCard* addCard(const QString& id, const QString& name, const QString& size, const QString& description);
    void reloadUsage();
    void refresh();
    ModelCard::View viewOf(const QString& id) const;
    void download(const QString& id);
    void cancel(const QString& id);
    void remove(const QString& id);

    SectionContext& m_context;
    LocalModels* m_models;
    QList<ModelCard*> m_cards;
    QHash<QString, QStringList> m_usedBy; // model id → mode names
    QTimer m_refreshTimer;
};
