#pragma once
// The dictation page: start and stop from the window, the last text with a copy button, the
// last error with the action that fixes it, and audio files dropped or picked for transcription.
#include "ui/Section.h"
#include "ui/SectionContext.h"

#include <QCoroTask>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QFrame;

class DictationSection : public Section
{
    Q_OBJECT
public:
    using FilePicker = std::function<QStringList(QWidget* parent)>;

    DictationSection(SectionContext& context, QWidget* parent = nullptr);

    void activated() override;
    // The dialog by default; tests give their own.
    void setFilePicker(FilePicker picker) { m_picker = std::move(picker); }
    void openFilePicker();
    // One after the other; a file that cannot be read is reported and skipped.
    QCoro::Task<> transcribeFiles(QStringList paths);

    QString errorText() const;
    QString errorActionText() const; // empty when the error has no action
    static QString retryText();
    void triggerErrorAction();
    QString lastText() const;
    QString fileStatus() const;

Q_SIGNALS:
    void filesDone();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void refreshState();
    void refreshText();
    void refreshError();
    void takePendingPicker();

    SectionContext& m_context;
    FilePicker m_picker;
    QLabel* m_state;
    QPushButton* m_dictate;
    QPlainTextEdit* m_text;
    QPushButton* m_copy;
    QFrame* m_errorBox;
    QLabel* m_error;
    QPushButton* m_errorAction;
    QFrame* m_dropZone;
    QPushButton* m_pick;
    QLabel* m_fileStatus;
    bool m_filesRunning = false;
};
