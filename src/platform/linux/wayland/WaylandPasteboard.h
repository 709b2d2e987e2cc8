#pragma once
// The clipboard (CLIPBOARD) and the selection (PRIMARY) through the compositor's data-control
// protocol: read and set without any window of ours having the keyboard focus, which Wayland
// demands of ordinary clients. Setting waits until the compositor holds our selection, so a
// paste chord sent next pastes our text, not the previous one.
#include "platform/Pasteboard.h"

#include <QHash>
#include <QObject>
#include <chrono>
#include <map>
#include <memory>

class WaylandConnection;
struct wl_event_queue;
struct wl_seat;
struct zwlr_data_control_device_v1;
struct zwlr_data_control_manager_v1;
struct zwlr_data_control_offer_v1;
struct zwlr_data_control_source_v1;

class WaylandPasteboard : public QObject, public Pasteboard
{
    Q_OBJECT
public:
    // How long a read waits for the owner of the clipboard to answer.
    static constexpr std::chrono::milliseconds kReadTimeout{1000};

    explicit WaylandPasteboard(WaylandConnection& connection, QObject* parent = nullptr);
    ~WaylandPasteboard() override;

    // True when the compositor gave us a data-control device.
    bool isAvailable() const;

    std::optional<QString> text() const override;
    PasteboardContents contents() const override;
    void setText(const QString& text) override;
    void setContents(const PasteboardContents& contents) override;
    std::optional<QString> selectionText() const override;

    // The protocol's listeners.
    static void onDataOffer(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer);
    static void onSelection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer);
    static void onFinished(void* data, zwlr_data_control_device_v1*);
    static void onPrimarySelection(void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer);
    static void onOfferMime(void* data, zwlr_data_control_offer_v1* offer, const char* mime);
    static void onSourceSend(void* data, zwlr_data_control_source_v1* source, const char* mime, int32_t fd);
    static void onSourceCancelled(void* data, zwlr_data_control_source_v1* source);

private:
    void replaceOffer(zwlr_data_control_offer_v1*& current, zwlr_data_control_offer_v1* next);
    std::optional<QString> textOf(zwlr_data_control_offer_v1* offer) const;
    std::optional<QByteArray> receive(zwlr_data_control_offer_v1* offer, const QString& mime,
                                      qsizetype maxBytes) const;
    void dropDevice();
    void catchUp() const;

    WaylandConnection& m_connection;
    wl_event_queue* m_queue = nullptr;
    wl_seat* m_seat = nullptr;
    zwlr_data_control_manager_v1* m_manager = nullptr;
    zwlr_data_control_device_v1* m_device = nullptr;
    // Every offer the compositor introduced and we have not destroyed, with its formats.
    std::map<zwlr_data_control_offer_v1*, QStringList> m_offers;
    zwlr_data_control_offer_v1* m_clipboardOffer = nullptr;
    zwlr_data_control_offer_v1* m_primaryOffer = nullptr;
    // Our selection while the compositor holds it, answered from memory.
    zwlr_data_control_source_v1* m_source = nullptr;
    PasteboardContents m_sourceContents;
};
