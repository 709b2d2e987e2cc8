#pragma once
// The phone section: the receiver's switch and auto-paste, pairing a phone with the six-digit
// code and its time left, the address and port to give by hand when nothing announces them,
// the paired phones with their removal, and the last text received.
#include "ui/Section.h"
#include "ui/SectionContext.h"

#include <QTimer>

class MacHelperReceiver;
class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;

class OvraHelperSection : public Section
{
    Q_OBJECT
public:
    OvraHelperSection(SectionContext& context, QWidget* parent = nullptr);

    QCheckBox* enabledBox() const { return m_enabled; }
    QCheckBox* autoPasteBox() const { return m_autoPaste; }
    QPushButton* pairButton() const { return m_pair; }
    QLabel* codeLabel() const { return m_code; }
    QLabel* timeLeftLabel() const { return m_timeLeft; }
    QLabel* addressLabel() const { return m_address; }
    QLabel* lastReceivedLabel() const { return m_last; }
    QTableWidget* phonesTable() const { return m_phones; }
    // Removes the phone shown on that row (the button asks first).
    void removePhoneAt(int row);

private:
    void refreshState();
    void refreshPairing();
    void refreshPhones();
    void refreshLast();

    MacHelperReceiver* m_receiver;
    QTimer m_tick;
    QCheckBox* m_enabled = nullptr;
    QCheckBox* m_autoPaste = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_address = nullptr;
    QPushButton* m_pair = nullptr;
    QPushButton* m_cancelPair = nullptr;
    QLabel* m_code = nullptr;
    QLabel* m_timeLeft = nullptr;
    QTableWidget* m_phones = nullptr;
    QLabel* m_last = nullptr;
};
