// Runs a task off the window's thread: a small window says what runs and how far it is, with a
// Cancel button that stops it before its commit, while the owner waits, disabled. The task's
// questions come to the window's thread as message boxes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ui/Tasks.h"

// The questions of a task running on another thread, asked as message boxes over the progress
// window on the window's thread.
class ThreadQuestions final : public ui::Questions {
public:
    void Tell(const std::string& message) override;
    bool Ask(const std::string& question) override;
    void SetWindow(HWND window) { window_ = window; }

private:
    HWND window_ = nullptr;
};

// A task's work: `progress` is told how far it is, in thousandths; `committing` when it can no
// longer be stopped.
using TaskWork = std::function<ui::TaskResult(const std::function<void(int permille)>& progress,
                                              const std::function<void()>& committing)>;

// Runs `work` on a thread of its own and returns its result once it ends. `label` says what it
// does; `cancel`, when given, is called from the Cancel button until the work is committing;
// `questions` are those `work` asks.
ui::TaskResult RunTask(HINSTANCE instance, HWND owner, const std::string& label,
                       const TaskWork& work, const std::function<void()>& cancel,
                       ThreadQuestions& questions);
