#include "WaylandPasteboard.h"

#include "WaylandConnection.h"
#include "platform/linux/clipboard/QtPasteboard.h"

#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <QClipboard>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <wayland-client.h>

namespace {

const zwlr_data_control_device_v1_listener kDeviceListener{
    &WaylandPasteboard::onDataOffer, &WaylandPasteboard::onSelection, &WaylandPasteboard::onFinished,
    &WaylandPasteboard::onPrimarySelection};
const zwlr_data_control_offer_v1_listener kOfferListener{&WaylandPasteboard::onOfferMime};
const zwlr_data_control_source_v1_listener kSourceListener{&WaylandPasteboard::onSourceSend,
                                                           &WaylandPasteboard::onSourceCancelled};

// The names text goes by, UTF-8 ones first: GTK, Qt, Electron and X11 programs behind XWayland
// each ask for a different one.
const QStringList kTextTargets{QStringLiteral("text/plain;charset=utf-8"), QStringLiteral("UTF8_STRING"),
                               QStringLiteral("text/plain"), QStringLiteral("STRING"), QStringLiteral("TEXT")};

bool isTextTarget(const QString& mime) { return kTextTargets.contains(mime); }

// Writes our selection into the pipe of one reader, without blocking the event loop on a reader
// that is slow or never reads; a reader that goes away only ends the write.
class PipeWriter : public QObject
{
public:
    PipeWriter(int fd, QByteArray bytes) : m_fd(fd), m_bytes(std::move(bytes))
    {
        fcntl(m_fd, F_SETFL, fcntl(m_fd, F_GETFL) | O_NONBLOCK);
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &PipeWriter::writeSome);
        writeSome();
    }
    ~PipeWriter() override
    {
        delete m_notifier;
        close(m_fd);
    }

private:
    void writeSome()
    {
        while (m_written < m_bytes.size()) {
            const ssize_t n = write(m_fd, m_bytes.constData() + m_written, size_t(m_bytes.size() - m_written));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN)
                return;
            if (n <= 0)
                break;
            m_written += n;
        }
        m_notifier->setEnabled(false);
        deleteLater();
    }

    int m_fd;
    QByteArray m_bytes;
    qsizetype m_written = 0;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace

WaylandPasteboard::WaylandPasteboard(WaylandConnection& connection, QObject* parent)
    : QObject(parent), m_connection(connection)
{
    // A reader that closes its pipe early must end our write, not the program.
    struct sigaction current{};
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
        std::signal(SIGPIPE, SIG_IGN);

    m_queue = connection.createQueue();
    m_seat = static_cast<wl_seat*>(connection.bind(&wl_seat_interface, 1, m_queue));
    m_manager = static_cast<zwlr_data_control_manager_v1*>(
        connection.bind(&zwlr_data_control_manager_v1_interface, 2, m_queue));
    if (!m_seat || !m_manager)
        return;
    m_device = zwlr_data_control_manager_v1_get_data_device(m_manager, m_seat);
    zwlr_data_control_device_v1_add_listener(m_device, &kDeviceListener, this);
    // The current selections arrive at once: read them before anyone asks.
    connection.roundtrip(m_queue);
}

WaylandPasteboard::~WaylandPasteboard()
{
    if (m_source)
        zwlr_data_control_source_v1_destroy(m_source);
    dropDevice();
    if (m_manager)
        zwlr_data_control_manager_v1_destroy(m_manager);
    if (m_seat)
        wl_seat_destroy(m_seat);
    m_connection.flush();
}

void WaylandPasteboard::dropDevice()
{
    for (auto& [offer, mimes] : m_offers)
        zwlr_data_control_offer_v1_destroy(offer);
    m_offers.clear();
    m_clipboardOffer = m_primaryOffer = nullptr;
    if (m_device)
        zwlr_data_control_device_v1_destroy(m_device);
    m_device = nullptr;
}

bool WaylandPasteboard::isAvailable() const { return m_device && !m_connection.isBroken(); }

void WaylandPasteboard::onDataOffer(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer)
{
    auto* self = static_cast<WaylandPasteboard*>(data);
    self->m_offers[offer] = {};
    zwlr_data_control_offer_v1_add_listener(offer, &kOfferListener, self);
}

void WaylandPasteboard::onOfferMime(void* data, zwlr_data_control_offer_v1* offer, const char* mime)
{
    auto* self = static_cast<WaylandPasteboard*>(data);
    const auto it = self->m_offers.find(offer);
    if (it != self->m_offers.end())
        it->second << QString::fromUtf8(mime);
}

void WaylandPasteboard::replaceOffer(zwlr_data_control_offer_v1*& current, zwlr_data_control_offer_v1* next)
{
    zwlr_data_control_offer_v1* previous = current;
    current = next;
    if (previous && previous != next && previous != m_clipboardOffer && previous != m_primaryOffer) {
        m_offers.erase(previous);
        zwlr_data_control_offer_v1_destroy(previous);
    }
}

void WaylandPasteboard::onSelection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer)
{
    auto* self = static_cast<WaylandPasteboard*>(data);
    self->replaceOffer(self->m_clipboardOffer, offer);
}

void WaylandPasteboard::onPrimarySelection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer)
{
    auto* self = static_cast<WaylandPasteboard*>(data);
    self->replaceOffer(self->m_primaryOffer, offer);
}

void WaylandPasteboard::onFinished(void* data, zwlr_data_control_device_v1*)
{
    // The seat went away: nothing more to read or set through this device.
    static_cast<WaylandPasteboard*>(data)->dropDevice();
}

void WaylandPasteboard::onSourceSend(void* data, zwlr_data_control_source_v1*, const char* mime, int32_t fd)
{
    auto* self = static_cast<WaylandPasteboard*>(data);
    const QString wanted = QString::fromUtf8(mime);
    QByteArray bytes;
    for (const auto& [format, content] : self->m_sourceContents)
        if (format == wanted || (format == QLatin1String("text/plain") && isTextTarget(wanted))) {
            bytes = content;
            break;
        }
    new PipeWriter(fd, bytes);
}

void WaylandPasteboard::onSourceCancelled(void* data, zwlr_data_control_source_v1* source)
{
    auto* self = static_cast<WaylandPasteboard*>(data);
    if (self->m_source == source) {
        self->m_source = nullptr;
        self->m_sourceContents.clear();
    }
    zwlr_data_control_source_v1_destroy(source);
}

std::optional<QByteArray> WaylandPasteboard::receive(zwlr_data_control_offer_v1* offer, const QString& mime,
                                                     qsizetype maxBytes) const
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return std::nullopt;
    zwlr_data_control_offer_v1_receive(offer, mime.toUtf8().constData(), fds[1]);
    close(fds[1]);
    m_connection.flush();

    QByteArray bytes;
    const QDeadlineTimer deadline(kReadTimeout);
    char buffer[65536];
    bool complete = false;
    while (!deadline.hasExpired()) {
        pollfd p{fds[0], POLLIN, 0};
        const int ready = poll(&p, 1, int(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        if (n == 0) {
            complete = true;
            break;
        }
        if (bytes.size() + n > maxBytes)
            break;
        bytes.append(buffer, n);
    }
    close(fds[0]);
    // Half a clipboard is worse than none: a timed-out or oversized read counts as nothing.
    if (!complete)
        return std::nullopt;
    return bytes;
}

std::optional<QString> WaylandPasteboard::textOf(zwlr_data_control_offer_v1* offer) const
{
    const auto it = m_offers.find(offer);
    if (!offer || it == m_offers.end())
        return std::nullopt;
    for (const QString& target : kTextTargets) {
        if (!it->second.contains(target))
            continue;
        if (auto bytes = receive(offer, target, QtPasteboard::kCopyBudgetBytes))
            return QString::fromUtf8(*bytes);
        return std::nullopt;
    }
    return std::nullopt;
}

void WaylandPasteboard::catchUp() const
{
    // A program that took the clipboard a moment ago is the one to read from, even when the event
    // loop has not run since.
    if (isAvailable())
        m_connection.roundtrip(m_queue);
}

std::optional<QString> WaylandPasteboard::text() const
{
    catchUp();
    if (m_source) {
        for (const auto& [format, bytes] : m_sourceContents)
            if (format == QLatin1String("text/plain"))
                return QString::fromUtf8(bytes);
        return std::nullopt;
    }
    // Our own windows' clipboard is served by Qt's connection, which cannot answer while we wait.
    if (QGuiApplication::clipboard()->ownsClipboard())
        return QtPasteboard().text();
    return textOf(m_clipboardOffer);
}

PasteboardContents WaylandPasteboard::contents() const
{
    catchUp();
    if (m_source)
        return m_sourceContents;
    if (QGuiApplication::clipboard()->ownsClipboard())
        return QtPasteboard().contents();
    PasteboardContents out;
    const auto it = m_offers.find(m_clipboardOffer);
    if (!m_clipboardOffer || it == m_offers.end())
        return out;
    const QStringList& offered = it->second;
    const std::optional<QString> plain = textOf(m_clipboardOffer);
    const QStringList wanted = QtPasteboard::formatsToKeep(offered, plain.has_value());
    if (plain)
        out.append({QStringLiteral("text/plain"), plain->toUtf8()});
    qsizetype budget = QtPasteboard::kCopyBudgetBytes;
    for (const QString& format : wanted) {
        const std::optional<QByteArray> bytes = receive(m_clipboardOffer, format, budget);
        if (!bytes)
            continue;
        budget -= bytes->size();
        out.append({format, *bytes});
    }
    return out;
}

void WaylandPasteboard::setText(const QString& text) { setContents({{QStringLiteral("text/plain"), text.toUtf8()}}); }

void WaylandPasteboard::setContents(const PasteboardContents& contents)
{
    if (!isAvailable())
        return;
    zwlr_data_control_source_v1* source = nullptr;
    if (!contents.isEmpty()) {
        source = zwlr_data_control_manager_v1_create_data_source(m_manager);
        zwlr_data_control_source_v1_add_listener(source, &kSourceListener, this);
        for (const auto& [format, bytes] : contents) {
            if (format == QLatin1String("text/plain"))
                for (const QString& target : kTextTargets)
                    zwlr_data_control_source_v1_offer(source, target.toUtf8().constData());
            else
                zwlr_data_control_source_v1_offer(source, format.toUtf8().constData());
        }
    }
    // The previous source of ours hears "cancelled" and goes; until then it is no longer ours.
    m_source = source;
    m_sourceContents = contents;
    zwlr_data_control_device_v1_set_selection(m_device, source);
    // Once the compositor has answered, it holds our selection: a paste that follows gets it.
    m_connection.roundtrip(m_queue);
}

std::optional<QString> WaylandPasteboard::selectionText() const
{
    if (QGuiApplication::clipboard()->ownsSelection())
        return QtPasteboard().selectionText();
    catchUp();
    std::optional<QString> text = textOf(m_primaryOffer);
    if (text && text->isEmpty())
        return std::nullopt;
    return text;
}
