// Runs a conversion or a removal off the window's thread while the window stays live: a progress
// dialog with Cancel appears when the run lasts, and the run's messages and questions come to the
// window's thread as modal boxes through the Prompter.
#pragma once

#include <QString>
#include <functional>

#include "ui/Tasks.h"

class QWidget;

// The questions of a task, asked through the Prompter on the window's thread whatever thread the
// task runs on.
class PrompterQuestions final : public ui::Questions {
public:
    explicit PrompterQuestions(QWidget* parent) : parent_(parent) {}
    void Tell(const std::string& message) override;
    bool Ask(const std::string& question) override;

private:
    QWidget* parent_;
};

// A task's work: `progress` is told how far it is, in thousandths; `committing` when it can no
// longer be stopped.
using TaskWork = std::function<ui::TaskResult(const std::function<void(int permille)>& progress,
                                              const std::function<void()>& committing)>;

// Runs `work` on the application's thread pool and returns its result once it is done; meanwhile
// the window's events go on, and a modal progress dialog labelled `label` shows after a moment.
// Its Cancel calls `cancel` (none: the dialog has no Cancel) until the work is committing.
ui::TaskResult runTask(QWidget* parent, const QString& label, const TaskWork& work,
                       const std::function<void()>& cancel);
