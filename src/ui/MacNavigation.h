#pragma once
// What the window shows, shared by the window, its sections and the menus: the selected
// section, a note to open, and a request to open the file picker of the dictation section.
#include "MacSection.h"

#include <QObject>
#include <QUuid>
#include <optional>

class MacNavigation : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    MacSection selection() const { return m_selection; }
    void select(MacSection section)
    {
        if (m_selection == section)
            return;
        m_selection = section;
        Q_EMIT selectionChanged(section);
    }

    const std::optional<QUuid>& pendingNoteID() const { return m_pendingNoteID; }
    void setPendingNoteID(std::optional<QUuid> id)
    {
        m_pendingNoteID = std::move(id);
        Q_EMIT pendingNoteIDChanged();
    }

    bool pendingTranscribePicker() const { return m_pendingTranscribePicker; }
    void setPendingTranscribePicker(bool pending)
    {
        if (m_pendingTranscribePicker == pending)
            return;
        m_pendingTranscribePicker = pending;
        Q_EMIT pendingTranscribePickerChanged();
    }

Q_SIGNALS:
    void selectionChanged(MacSection section);
    void pendingNoteIDChanged();
    void pendingTranscribePickerChanged();

private:
    MacSection m_selection = MacSection::dictation;
    std::optional<QUuid> m_pendingNoteID;
    bool m_pendingTranscribePicker = false;
};
