#pragma once

#include "app/GuiSeam.h"
#include "journal/JournaledCommand.h"

#include <QString>

#include <atomic>
#include <exception>
#include <functional>

class QThread;
class QWidget;

namespace tessera {

// Long database work on a thread of its own: the GUI thread shows the wait
// cursor and, once the work has taken a moment, a modal progress dialog
// whose 取消 asks the work to stop (it stops where it may: before it has
// written anything). Until then user input waits, so that nothing else
// touches the shared connection meanwhile. The work must not touch widgets:
// it asks its questions through ask(), which shows them on the GUI thread.
class BackgroundRun : public journal::Progress {
public:
    BackgroundRun(QWidget* owner, QString caption, QString label);

    // Runs `work` and returns when it has ended; its exception, if any, is
    // thrown again here.
    void run(const std::function<void()>& work);

    // From the work: rows done of total (-1: not known); false once cancelled.
    bool advance(qint64 done, qint64 total) override;
    // From the work: a message box shown on the GUI thread, the wait cursor
    // lifted meanwhile; returns the answer.
    QMessageBox::StandardButton ask(const MessageRequest& request);
    bool cancelled() const noexcept { return m_cancelled; }

private:
    void waitShowingProgress(QThread& thread);

    QWidget* m_owner;
    QString m_caption;
    QString m_label;
    std::atomic<qint64> m_done{0};
    std::atomic<qint64> m_total{-1};
    std::atomic<bool> m_cancelled{false};
};

} // namespace tessera
