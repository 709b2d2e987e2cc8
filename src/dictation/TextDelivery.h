#pragma once
// Puts text where the user is typing: paste at the cursor (then the previous clipboard comes
// back), Return after the paste, plain copies, and the selected text of the focused application.
#include "DictationDelivery.h"
#include "platform/Pasteboard.h"

#include <QCoroTask>
#include <QObject>
#include <chrono>
#include <optional>

class FrontmostApplication;
class KeySynthesizer;
class SelectionOwner;

class TextDelivery : public QObject, public DictationDelivery
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kRestoreDelay{900};
    static constexpr std::chrono::milliseconds kReturnDelay{350};
    // How long a synthetic copy may take to reach the clipboard.
    static constexpr std::chrono::milliseconds kCopyTimeout{500};

    // frontmost may be null: Ctrl+V is then used everywhere. selectionOwner may be null: the
    // desktop's selection is then taken as the focused application's.
    TextDelivery(Pasteboard& pasteboard, KeySynthesizer& keys, FrontmostApplication* frontmost,
                 SelectionOwner* selectionOwner = nullptr, QObject* parent = nullptr);

    // False when synthetic key events are impossible: the text then stays on the clipboard.
    bool pasteAtCursor(const QString& text) override;
    QCoro::Task<> keysReleased() override;
    // After a short delay, one Return key press in the focused application.
    void pressReturn() override;
    void copyToClipboard(const QString& text) override;
    // The selected text of the focused application; none when nothing is selected.
    QCoro::Task<std::optional<QString>> readSelectedText() override;
    bool isTrusted() const override;
    // X11 has no permission to ask for: synthetic keys work wherever XTest does.
    void requestTrust() override {}

private:
    bool focusedIsTerminal() const;
    QCoro::Task<> restoreLater(quint64 paste);
    QCoro::Task<> returnLater();

    Pasteboard& m_pasteboard;
    KeySynthesizer& m_keys;
    FrontmostApplication* m_frontmost;
    SelectionOwner* m_selectionOwner;
    // The clipboard as it was before the latest paste, until it is put back.
    std::optional<PasteboardContents> m_toRestore;
    QString m_lastPasted;
    quint64 m_pasteCount = 0;
};
