#include "app/TaskRunner.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QThread>
#include <QThreadPool>

#include "app/Prompter.h"

namespace {

// Calls `call` on the application's thread and waits for it to return.
void onWindowThread(const std::function<void()>& call) {
    if (QThread::currentThread() == qApp->thread()) {
        call();
    } else {
        QMetaObject::invokeMethod(qApp, call, Qt::BlockingQueuedConnection);
    }
}

QString fromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.c_str());
}

// How long a run goes before its progress dialog shows.
constexpr int kProgressAfterMs = 400;

// What a box of a run stands on: the run's progress dialog, shown now, when there is one. On the
// window, the dialog would show itself over the box once the run had gone on for a moment,
// hiding the question that the run waits for.
QWidget* boxOwner(QWidget* parent) {
    auto* progress = parent != nullptr
                         ? parent->findChild<QProgressDialog*>(QStringLiteral("taskProgress"))
                         : nullptr;
    if (progress == nullptr) {
        return parent;
    }
    progress->show();
    return progress;
}

}  // namespace

void PrompterQuestions::Tell(const std::string& message) {
    onWindowThread([&] { Prompter::instance().message(boxOwner(parent_), fromLocal(message)); });
}

bool PrompterQuestions::Ask(const std::string& question) {
    bool yes = false;
    onWindowThread(
        [&] { yes = Prompter::instance().question(boxOwner(parent_), fromLocal(question)); });
    return yes;
}

ui::TaskResult runTask(QWidget* parent, const QString& label, const TaskWork& work,
                       const std::function<void()>& cancel) {
    QProgressDialog progress(label, cancel ? QStringLiteral("Cancel") : QString(), 0, 1000, parent);
    progress.setObjectName(QStringLiteral("taskProgress"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(kProgressAfterMs);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    if (!cancel) {
        progress.setCancelButton(nullptr);
    }
    const QMetaObject::Connection stopping =
        QObject::connect(&progress, &QProgressDialog::canceled, &progress, [&] {
            progress.setLabelText(QStringLiteral("Stopping..."));
            cancel();
        });
    progress.setValue(0);

    QEventLoop loop;
    ui::TaskResult result;
    QPointer<QProgressDialog> shown(&progress);
    QThreadPool::globalInstance()->start([&] {
        const auto setValue = [&](int permille) {
            QMetaObject::invokeMethod(qApp, [shown, permille] {
                if (shown) {
                    shown->setValue(permille);
                }
            });
        };
        // From here the run ends done or undone: Cancel, which could no longer stop it, goes.
        const auto committing = [&] {
            QMetaObject::invokeMethod(qApp, [shown, stopping] {
                if (shown) {
                    QObject::disconnect(stopping);
                    shown->setCancelButton(nullptr);
                    shown->setLabelText(QStringLiteral("Saving the directory..."));
                }
            });
        };
        result = work(setValue, committing);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    QApplication::setOverrideCursor(Qt::BusyCursor);
    loop.exec();
    QApplication::restoreOverrideCursor();
    return result;
}
