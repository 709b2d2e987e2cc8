#pragma once
// Texts from the paired phones go the way dictations go: pasted at the cursor (the previous
// clipboard then comes back) or left on the clipboard.
#include "dictation/DictationDelivery.h"
#include "helper/HelperDelivery.h"

class HelperTextDelivery : public HelperDelivery
{
public:
    explicit HelperTextDelivery(DictationDelivery& delivery) : m_delivery(delivery) {}
    bool pasteAtCursor(const QString& text) override { return m_delivery.pasteAtCursor(text); }
    void copyToClipboard(const QString& text) override { m_delivery.copyToClipboard(text); }

private:
    DictationDelivery& m_delivery;
};
