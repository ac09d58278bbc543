#include "app/BackgroundRun.h"

#include "app/CTesseraApp.h"

#include <QApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

namespace tessera {

namespace {

// How long work runs before its progress dialog comes up.
constexpr int kQuietMs = 400;

} // namespace

BackgroundRun::BackgroundRun(QWidget* owner, QString caption, QString label)
    : m_owner(owner), m_caption(std::move(caption)), m_label(std::move(label))
{
}

void BackgroundRun::run(const std::function<void()>& work)
{
    std::exception_ptr failure;
    QThread* thread = QThread::create([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    QApplication::setOverrideCursor(Qt::WaitCursor);
    {
        // A short run keeps user input waiting and shows nothing but the cursor.
        QEventLoop quiet;
        QObject::connect(thread, &QThread::finished, &quiet, &QEventLoop::quit);
        QTimer::singleShot(kQuietMs, &quiet, &QEventLoop::quit);
        thread->start();
        quiet.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (!thread->isFinished())
        waitShowingProgress(*thread);
    thread->wait();
    delete thread;
    QApplication::restoreOverrideCursor();
    if (failure)
        std::rethrow_exception(failure);
}

void BackgroundRun::waitShowingProgress(QThread& thread)
{
    QProgressDialog progress(m_label, QStringLiteral("取消"), 0, 0, m_owner);
    progress.setObjectName(QStringLiteral("workProgress"));
    progress.setWindowTitle(m_caption);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    QObject::connect(&progress, &QProgressDialog::canceled, [this] { m_cancelled = true; });
    QEventLoop loop;
    QObject::connect(&thread, &QThread::finished, &loop, &QEventLoop::quit);
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 total = m_total;
        const qint64 done = m_done;
        if (total > 0) {
            progress.setMaximum(1000);
            progress.setValue(int(std::min<qint64>(999, done * 1000 / total)));
        }
        progress.setLabelText(done > 0 ? QStringLiteral("%1\n已处理%2行").arg(m_label).arg(done) : m_label);
    });
    tick.start(100);
    progress.show();
    if (!thread.isFinished())
        loop.exec();
}

bool BackgroundRun::advance(qint64 done, qint64 total)
{
    m_done = done;
    m_total = total;
    return !m_cancelled;
}

QMessageBox::StandardButton BackgroundRun::ask(const MessageRequest& request)
{
    QMessageBox::StandardButton answer = QMessageBox::NoButton;
    auto show = [&] {
        QApplication::restoreOverrideCursor();
        answer = showMessage(request);
        QApplication::setOverrideCursor(Qt::WaitCursor);
    };
    if (QThread::currentThread() == qApp->thread())
        show();
    else
        QMetaObject::invokeMethod(qApp, show, Qt::BlockingQueuedConnection);
    return answer;
}

} // namespace tessera
