#pragma once
// One on-device model in the models section: what it is, its state with the download's
// progress, the error of its last attempt, the modes that use it, and its buttons.
#include <QFrame>
#include <QString>

class QLabel;
class QProgressBar;
class QPushButton;

class ModelCard : public QFrame
{
    Q_OBJECT
public:
    enum class State { notDownloaded, downloading, verifying, ready, loaded, failed, unavailable };
    struct View
    {
        State state = State::notDownloaded;
        double progress = 0;   // 0…1 while downloading
        qint64 received = 0;   // bytes of a running download, when the host announced them
        qint64 total = 0;
        QString error;         // the last attempt's error, shown beside the model
        QStringList usedBy;    // names of the modes using the model
        qint64 bytesOnDisk = 0;
    };

    ModelCard(const QString& id, const QString& name, const QString& size, const QString& description,
              QWidget* parent = nullptr);

    void display(const View& view);
    QString id() const { return m_id; }
    State state() const { return m_view.state; }
    QString stateText() const;
    QString errorText() const;
    QString usageText() const;
    int progressPercent() const;

    QPushButton* downloadButton() const { return m_download; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* deleteButton() const { return m_delete; }

    static QString stateLabel(State state);

Q_SIGNALS:
    void downloadRequested(const QString& id);
    void cancelRequested(const QString& id);
    // Emitted on the second click: the first one asks for confirmation in the button itself.
    void deleteRequested(const QString& id);

private:
    void disarmDelete();

    QString m_id;
    View m_view;
    bool m_deleteArmed = false;
    QLabel* m_state;
    QLabel* m_usage;
    QLabel* m_error;
    QProgressBar* m_progress;
    QPushButton* m_download;
    QPushButton* m_cancel;
    QPushButton* m_delete;
};
