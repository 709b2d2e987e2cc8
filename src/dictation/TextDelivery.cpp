#include "TextDelivery.h"

#include "TerminalApplications.h"
#include "platform/FrontmostApplication.h"
#include "platform/KeySynthesizer.h"
#include "platform/SelectionOwner.h"

#include <QCoroTimer>
#include <QPointer>

using namespace std::chrono_literals;

TextDelivery::TextDelivery(Pasteboard& pasteboard, KeySynthesizer& keys, FrontmostApplication* frontmost,
                           SelectionOwner* selectionOwner, QObject* parent)
    : QObject(parent), m_pasteboard(pasteboard), m_keys(keys), m_frontmost(frontmost),
      m_selectionOwner(selectionOwner)
{
}

bool TextDelivery::isTrusted() const { return m_keys.isTrusted(); }

bool TextDelivery::focusedIsTerminal() const
{
    return m_frontmost && m_frontmost->isAvailable() &&
           TerminalApplications::contains(m_frontmost->frontmostApplicationId());
}

bool TextDelivery::pasteAtCursor(const QString& text)
{
    // A paste within the restore delay of the previous one must not take that paste's text for
    // the user's clipboard: what comes back is what the user had before the first paste.
    PasteboardContents previous;
    if (m_toRestore && m_pasteboard.text() == m_lastPasted)
        previous = *m_toRestore;
    else
        previous = m_pasteboard.contents();
    const bool hadText = std::any_of(previous.begin(), previous.end(),
                                     [](const auto& f) { return f.first == QLatin1String("text/plain"); });
    m_pasteboard.setText(text);
    m_toRestore.reset();
    // Without synthetic keys the dictated text stays on the clipboard for a paste by hand.
    if (!m_keys.isTrusted())
        return false;
    m_keys.post(focusedIsTerminal() ? KeyChord::terminalPaste : KeyChord::paste);
    if (hadText) {
        m_toRestore = previous;
        m_lastPasted = text;
        restoreLater(++m_pasteCount);
    }
    return true;
}

QCoro::Task<> TextDelivery::keysReleased()
{
    auto released = m_keys.keysReleased();
    co_await released;
}

QCoro::Task<> TextDelivery::restoreLater(quint64 paste)
{
    QPointer<TextDelivery> self(this);
    co_await QCoro::sleepFor(kRestoreDelay);
    // A later paste took over the restore.
    if (!self || self->m_pasteCount != paste || !self->m_toRestore)
        co_return;
    self->m_pasteboard.setContents(*self->m_toRestore);
    self->m_toRestore.reset();
}

void TextDelivery::pressReturn() { returnLater(); }

QCoro::Task<> TextDelivery::returnLater()
{
    QPointer<TextDelivery> self(this);
    co_await QCoro::sleepFor(kReturnDelay);
    if (self)
        self->m_keys.post(KeyChord::returnKey);
}

void TextDelivery::copyToClipboard(const QString& text) { m_pasteboard.setText(text); }

QCoro::Task<std::optional<QString>> TextDelivery::readSelectedText()
{
    const auto nonEmpty = [](const std::optional<QString>& s) { return s && !s->trimmed().isEmpty(); };
    // A selection left in another application is not what the user means to transform.
    std::optional<QString> selection;
    if (!m_selectionOwner || m_selectionOwner->selectionBelongsToFocusedApplication())
        selection = m_pasteboard.selectionText();
    if (nonEmpty(selection) || !m_keys.isTrusted())
        co_return nonEmpty(selection) ? selection : std::nullopt;

    // Some applications do not publish their selection: ask them to copy it, read the
    // clipboard, then put back what it held.
    QPointer<TextDelivery> self(this);
    // Ctrl+C with the shortcut's Alt+Super still down would be another shortcut.
    auto released = m_keys.keysReleased();
    co_await released;
    if (!self)
        co_return std::nullopt;
    const PasteboardContents previous = self->m_pasteboard.contents();
    self->m_pasteboard.setContents({});
    self->m_keys.post(focusedIsTerminal() ? KeyChord::terminalCopy : KeyChord::copy);
    std::optional<QString> copied;
    for (auto waited = 0ms; waited < kCopyTimeout; waited += 25ms) {
        co_await QCoro::sleepFor(25ms);
        if (!self)
            co_return std::nullopt;
        copied = self->m_pasteboard.text();
        if (nonEmpty(copied))
            break;
    }
    self->m_pasteboard.setContents(previous);
    co_return nonEmpty(copied) ? copied : std::nullopt;
}
