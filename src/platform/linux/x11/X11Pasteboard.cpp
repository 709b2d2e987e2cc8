#include "X11Pasteboard.h"

#include "X11Connection.h"
#include "platform/linux/clipboard/QtPasteboard.h"

#include <QDeadlineTimer>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <climits>
#include <poll.h>

namespace {

// The names text goes by, UTF-8 ones first; the compositor's bridge and X programs each ask for
// a different one.
const QStringList kTextTargets{QStringLiteral("UTF8_STRING"), QStringLiteral("text/plain;charset=utf-8"),
                               QStringLiteral("text/plain"), QStringLiteral("TEXT"), QStringLiteral("STRING")};
// Targets that describe the selection rather than carry it.
const QStringList kMetaTargets{QStringLiteral("TARGETS"), QStringLiteral("TIMESTAMP"), QStringLiteral("MULTIPLE"),
                               QStringLiteral("SAVE_TARGETS")};

struct XFreer
{
    void operator()(unsigned char* p) const
    {
        if (p)
            XFree(p);
    }
};

} // namespace

X11Pasteboard::X11Pasteboard(X11Connection& connection) : m_connection(connection)
{
    Display* d = connection.display();
    m_window = XCreateSimpleWindow(d, connection.rootWindow(), -10, -10, 1, 1, 0, 0, 0);
    XSelectInput(d, m_window, PropertyChangeMask);
    m_clipboard = atom(QStringLiteral("CLIPBOARD"));
    m_targets = atom(QStringLiteral("TARGETS"));
    m_incr = atom(QStringLiteral("INCR"));
    m_property = atom(QStringLiteral("OVRA_SELECTION"));
    std::weak_ptr<bool> alive = m_alive;
    connection.addEventHandler([this, alive](XEvent* event) {
        if (!alive.expired())
            handle(event);
    });
    XFlush(d);
}

X11Pasteboard::~X11Pasteboard()
{
    m_alive.reset();
    XDestroyWindow(m_connection.display(), m_window);
    XFlush(m_connection.display());
}

unsigned long X11Pasteboard::atom(const QString& name) const
{
    return XInternAtom(m_connection.display(), name.toUtf8().constData(), False);
}

QString X11Pasteboard::atomName(unsigned long a) const
{
    char* name = a ? XGetAtomName(m_connection.display(), a) : nullptr;
    if (!name)
        return {};
    const QString out = QString::fromUtf8(name);
    XFree(name);
    return out;
}

void X11Pasteboard::handle(XEvent* event)
{
    switch (event->type) {
    case SelectionRequest:
        if (event->xselectionrequest.owner == m_window)
            answer(event);
        break;
    case SelectionClear:
        if (event->xselectionclear.window == m_window && event->xselectionclear.selection == m_clipboard) {
            m_owner = false;
            m_contents.clear();
        }
        break;
    case SelectionNotify:
        if (event->xselection.requestor == m_window) {
            m_notified = true;
            m_notifiedProperty = event->xselection.property;
        }
        break;
    case PropertyNotify:
        if (event->xproperty.window == m_window && event->xproperty.atom == m_property
            && event->xproperty.state == PropertyNewValue)
            m_propertyArrived = true;
        break;
    default:
        break;
    }
}

std::optional<QByteArray> X11Pasteboard::served(const QString& target) const
{
    for (const auto& [format, bytes] : m_contents) {
        if (format == target)
            return bytes;
        if (format == QLatin1String("text/plain") && kTextTargets.contains(target))
            return target == QLatin1String("STRING") ? QString::fromUtf8(bytes).toLatin1() : bytes;
    }
    return std::nullopt;
}

void X11Pasteboard::answer(XEvent* event)
{
    const XSelectionRequestEvent& request = event->xselectionrequest;
    Display* d = m_connection.display();
    // Old clients name no property: the target is the property then.
    const Atom property = request.property != None ? request.property : request.target;
    bool ok = false;
    {
        // The requestor may be gone already: that only ends this answer.
        X11ErrorTrap trap(d);
        if (request.selection == m_clipboard && m_owner) {
            const QString target = atomName(request.target);
            if (request.target == m_targets) {
                std::vector<Atom> atoms{m_targets, atom(QStringLiteral("TIMESTAMP"))};
                for (const auto& [format, bytes] : m_contents) {
                    if (format == QLatin1String("text/plain"))
                        for (const QString& t : kTextTargets)
                            atoms.push_back(atom(t));
                    else
                        atoms.push_back(atom(format));
                }
                XChangeProperty(d, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(atoms.data()), int(atoms.size()));
                m_targetsAsked = true;
                ok = true;
            } else if (target == QLatin1String("TIMESTAMP")) {
                const long time = long(CurrentTime);
                XChangeProperty(d, request.requestor, property, XA_INTEGER, 32, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(&time), 1);
                ok = true;
            } else if (const std::optional<QByteArray> bytes = served(target);
                       bytes && bytes->size() < qsizetype(XExtendedMaxRequestSize(d) ? XExtendedMaxRequestSize(d)
                                                                                    : XMaxRequestSize(d)) * 4 - 64) {
                // TEXT lets the owner choose the encoding: ours is UTF-8.
                const Atom type = target == QLatin1String("TEXT") ? atom(QStringLiteral("UTF8_STRING")) : request.target;
                XChangeProperty(d, request.requestor, property, type, 8, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(bytes->constData()), int(bytes->size()));
                ok = true;
            }
        }
        if (trap.sync() != 0)
            ok = false;
    }
    XEvent reply{};
    reply.xselection.type = SelectionNotify;
    reply.xselection.display = d;
    reply.xselection.requestor = request.requestor;
    reply.xselection.selection = request.selection;
    reply.xselection.target = request.target;
    reply.xselection.property = ok ? property : None;
    reply.xselection.time = request.time;
    X11ErrorTrap trap(d);
    XSendEvent(d, request.requestor, False, NoEventMask, &reply);
    trap.sync();
}

bool X11Pasteboard::waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) const
{
    const QDeadlineTimer deadline(timeout);
    while (true) {
        m_connection.processPendingEvents();
        if (done())
            return true;
        if (deadline.hasExpired())
            return false;
        pollfd p{ConnectionNumber(m_connection.display()), POLLIN, 0};
        poll(&p, 1, int(qMax<qint64>(1, deadline.remainingTime())));
    }
}

std::optional<QByteArray> X11Pasteboard::convert(unsigned long selection, unsigned long target) const
{
    Display* d = m_connection.display();
    XDeleteProperty(d, m_window, m_property);
    m_notified = false;
    XConvertSelection(d, selection, target, m_property, m_window, CurrentTime);
    XFlush(d);
    if (!waitFor([this] { return m_notified; }, kReadTimeout) || m_notifiedProperty == None)
        return std::nullopt;

    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* raw = nullptr;
    if (XGetWindowProperty(d, m_window, m_property, 0, LONG_MAX / 4, True, AnyPropertyType, &type, &format, &count,
                           &remaining, &raw)
        != Success)
        return std::nullopt;
    const std::unique_ptr<unsigned char, XFreer> data(raw);
    if (type == m_incr)
        return readIncrementally();
    if (type == None)
        return std::nullopt;
    // Xlib hands 32-bit items as longs.
    const qsizetype size = format == 32 ? qsizetype(count * sizeof(long)) : qsizetype(count * unsigned(format) / 8);
    if (size > QtPasteboard::kCopyBudgetBytes)
        return std::nullopt;
    return QByteArray(reinterpret_cast<const char*>(raw), size);
}

std::optional<QByteArray> X11Pasteboard::readIncrementally() const
{
    // Deleting the INCR property (done by the caller's read) asks for the first chunk; each chunk
    // read and deleted asks for the next; an empty chunk ends the transfer.
    Display* d = m_connection.display();
    QByteArray bytes;
    while (true) {
        m_propertyArrived = false;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* raw = nullptr;
        if (XGetWindowProperty(d, m_window, m_property, 0, LONG_MAX / 4, True, AnyPropertyType, &type, &format,
                               &count, &remaining, &raw)
            != Success)
            return std::nullopt;
        const std::unique_ptr<unsigned char, XFreer> data(raw);
        if (type != None) {
            if (count == 0)
                return bytes;
            bytes.append(reinterpret_cast<const char*>(raw), qsizetype(count * unsigned(format) / 8));
            // Half a clipboard is worse than none.
            if (bytes.size() > QtPasteboard::kCopyBudgetBytes)
                return std::nullopt;
            continue;
        }
        XFlush(d);
        if (!waitFor([this] { return m_propertyArrived; }, kReadTimeout))
            return std::nullopt;
    }
}

QStringList X11Pasteboard::targetsOf(unsigned long selection) const
{
    QStringList out;
    const std::optional<QByteArray> bytes = convert(selection, m_targets);
    if (!bytes)
        return out;
    const auto* atoms = reinterpret_cast<const long*>(bytes->constData());
    for (qsizetype i = 0; i < bytes->size() / qsizetype(sizeof(long)); ++i)
        if (const QString name = atomName(static_cast<unsigned long>(atoms[i])); !name.isEmpty())
            out << name;
    return out;
}

std::optional<QString> X11Pasteboard::textOf(unsigned long selection) const
{
    if (XGetSelectionOwner(m_connection.display(), selection) == None)
        return std::nullopt;
    QStringList offered = targetsOf(selection);
    // Owners that cannot list their targets still mostly answer UTF8_STRING.
    if (offered.isEmpty())
        offered << QStringLiteral("UTF8_STRING");
    for (const QString& target : kTextTargets) {
        if (!offered.contains(target))
            continue;
        const std::optional<QByteArray> bytes = convert(selection, atom(target));
        if (!bytes)
            return std::nullopt;
        return target == QLatin1String("STRING") ? QString::fromLatin1(*bytes) : QString::fromUtf8(*bytes);
    }
    return std::nullopt;
}

std::optional<QString> X11Pasteboard::text() const
{
    if (m_owner) {
        for (const auto& [format, bytes] : m_contents)
            if (format == QLatin1String("text/plain"))
                return QString::fromUtf8(bytes);
        return std::nullopt;
    }
    return textOf(m_clipboard);
}

PasteboardContents X11Pasteboard::contents() const
{
    if (m_owner)
        return m_contents;
    PasteboardContents out;
    if (XGetSelectionOwner(m_connection.display(), m_clipboard) == None)
        return out;
    QStringList offered = targetsOf(m_clipboard);
    for (const QString& meta : kMetaTargets)
        offered.removeAll(meta);
    const std::optional<QString> plain = textOf(m_clipboard);
    const QStringList wanted = QtPasteboard::formatsToKeep(offered, plain.has_value());
    if (plain)
        out.append({QStringLiteral("text/plain"), plain->toUtf8()});
    qsizetype budget = QtPasteboard::kCopyBudgetBytes;
    for (const QString& format : wanted) {
        const std::optional<QByteArray> bytes = convert(m_clipboard, atom(format));
        if (!bytes || bytes->size() > budget)
            continue;
        budget -= bytes->size();
        out.append({format, *bytes});
    }
    return out;
}

void X11Pasteboard::setText(const QString& text) { setContents({{QStringLiteral("text/plain"), text.toUtf8()}}); }

void X11Pasteboard::setContents(const PasteboardContents& contents)
{
    Display* d = m_connection.display();
    m_contents = contents;
    m_targetsAsked = false;
    XSetSelectionOwner(d, m_clipboard, contents.isEmpty() ? None : m_window, CurrentTime);
    m_owner = !contents.isEmpty() && XGetSelectionOwner(d, m_clipboard) == m_window;
    if (!m_owner) {
        m_contents.clear();
        return;
    }
    // The compositor's bridge asks what we offer before it announces our selection to Wayland
    // programs: once it has, a paste chord sent next pastes our text.
    waitFor([this] { return m_targetsAsked; }, kMirrorTimeout);
}

std::optional<QString> X11Pasteboard::selectionText() const
{
    std::optional<QString> text = textOf(XA_PRIMARY);
    if (text && text->isEmpty())
        return std::nullopt;
    return text;
}
