#pragma once
// The clipboard (CLIPBOARD) and the selection (PRIMARY) through our own X connection. On X11 a
// selection is owned without any window having the focus; under Wayland the compositor mirrors
// XWayland's selections to its own clipboard, so this serves where the compositor offers no
// data-control protocol. A read waits for the owner's answer; a set waits until the compositor's
// XWayland bridge has asked what we offer (it then holds our selection), bounded by a timeout.
#include "platform/Pasteboard.h"

#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>

class X11Connection;
union _XEvent;

class X11Pasteboard : public Pasteboard
{
public:
    // How long a read waits for the owner of the clipboard to answer.
    static constexpr std::chrono::milliseconds kReadTimeout{1000};
    // How long a set waits for the compositor to take our selection over.
    static constexpr std::chrono::milliseconds kMirrorTimeout{500};

    explicit X11Pasteboard(X11Connection& connection);
    ~X11Pasteboard() override;

    std::optional<QString> text() const override;
    PasteboardContents contents() const override;
    void setText(const QString& text) override;
    void setContents(const PasteboardContents& contents) override;
    std::optional<QString> selectionText() const override;

private:
    unsigned long atom(const QString& name) const;
    QString atomName(unsigned long atom) const;
    void handle(_XEvent* event);
    void answer(_XEvent* request);
    // The owner's conversion of the selection to target; none when refused, late or too large.
    std::optional<QByteArray> convert(unsigned long selection, unsigned long target) const;
    std::optional<QByteArray> readIncrementally() const;
    // Runs the connection's events until done() or the deadline; false on timeout.
    bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) const;
    QStringList targetsOf(unsigned long selection) const;
    std::optional<QString> textOf(unsigned long selection) const;
    // The bytes we serve for one target of our selection; none when we do not offer it.
    std::optional<QByteArray> served(const QString& target) const;

    X11Connection& m_connection;
    unsigned long m_window = 0;
    unsigned long m_clipboard = 0;
    unsigned long m_targets = 0;
    unsigned long m_incr = 0;
    unsigned long m_property = 0;
    bool m_owner = false;
    PasteboardContents m_contents;
    // Set by the event handler while a wait is under way.
    mutable bool m_notified = false;
    mutable unsigned long m_notifiedProperty = 0;
    mutable bool m_propertyArrived = false;
    bool m_targetsAsked = false;
    // The connection outlives us but keeps our handler: it checks this first.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
