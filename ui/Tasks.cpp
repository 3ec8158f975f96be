#include "ui/Tasks.h"

#include <vector>

#include "ui/SessionLog.h"

namespace ui {
namespace {

// The engine's notifier over the shell's questions, keeping the last message. A shell's message
// waits for the user: the messages of a run are told once it has ended, when whatever it had
// prepared in the directory is gone, and before a question, in their order.
class QuestionsNotifier final : public engine::Notifier {
public:
    explicit QuestionsNotifier(Questions& questions) : questions_(questions) {}
    void ShowMessage(const std::string& text) override {
        last = text;
        held_.push_back(text);
    }
    std::optional<bool> Ask(const std::string& question) override {
        TellHeld();
        return questions_.Ask(question);
    }
    void TellHeld() {
        for (const std::string& message : held_) {
            questions_.Tell(message);
        }
        held_.clear();
    }
    std::string last;

private:
    Questions& questions_;
    std::vector<std::string> held_;
};

}  // namespace

std::string NameTheSubject(const std::string& message, engine::SettingsField field,
                           const engine::ConversionSettings& settings) {
    using engine::SettingsField;
    const bool aboutDirectory =
        field == SettingsField::kDirectory || field == SettingsField::kMaster;
    const std::string& subject = aboutDirectory ? settings.directory : settings.symbol;
    if ((!aboutDirectory && field != SettingsField::kSymbol) || subject.empty() ||
        message.find(subject) != std::string::npos) {
        return message;
    }
    return message + (aboutDirectory ? "\nThe directory: " : "\nThe symbol: ") + subject;
}

ConversionTask::ConversionTask(engine::ConversionSettings settings, Questions& questions)
    : settings_(std::move(settings)), questions_(questions) {}

TaskResult ConversionTask::Run(const std::function<void(int permille)>& progress,
                               const std::function<void()>& committing) {
    QuestionsNotifier notifier(questions_);
    engine::JobServices services;
    services.notifier = &notifier;
    services.cancel = &cancel_;
    services.progress = progress;
    services.committing = committing;
    engine::ConversionJob job(settings_, services);
    (void)job.Run();
    notifier.TellHeld();
    const engine::RunResult run = job.Result();
    TaskResult result;
    result.succeeded = run.succeeded;
    result.cancelled = run.cancelled;
    result.refusal = run.refusal;
    result.message =
        run.refusal ? NameTheSubject(run.message, run.refusal->field, settings_) : run.message;
    SessionLog log;
    if (result.cancelled) {
        log.Cancelled(job);
    } else {
        log.Converted(job, result.succeeded, result.message);
    }
    result.logEntry = log.Last();
    return result;
}

bool NeedsDatabaseRun(const engine::ConversionSettings& settings, std::size_t fileCount) {
    // The columns that are not prices (symbol, name, period, time, series) are read by the run
    // of many securities only, as on the command line.
    return fileCount > 1 || settings.columns != engine::OtherColumns{} || settings.update;
}

DatabaseTask::DatabaseTask(engine::ConversionSettings settings,
                           std::vector<engine::InputFile> inputs, Questions& questions)
    : settings_(std::move(settings)), inputs_(std::move(inputs)), questions_(questions) {}

TaskResult DatabaseTask::Run(const std::function<void(int permille)>& progress,
                             const std::function<void()>& committing) {
    QuestionsNotifier notifier(questions_);
    engine::JobServices services;
    services.notifier = &notifier;
    services.cancel = &cancel_;
    services.progress = progress;
    services.committing = committing;
    engine::DatabaseRun run(settings_, inputs_, {}, services);
    (void)run.Run();
    notifier.TellHeld();
    const engine::RunResult outcome = run.Result();
    TaskResult result;
    result.succeeded = outcome.succeeded;
    result.cancelled = outcome.cancelled;
    result.refusal = outcome.refusal;
    result.message = outcome.refusal
                         ? NameTheSubject(outcome.message, outcome.refusal->field, settings_)
                         : outcome.message;
    SessionLog log;
    log.Ran(run, result.succeeded, result.cancelled, result.message);
    result.logEntry = log.Last();
    return result;
}

RemovalTask::RemovalTask(std::string directory, std::string symbol, int codePage,
                         Questions& questions)
    : directory_(std::move(directory)),
      symbol_(std::move(symbol)),
      codePage_(codePage),
      questions_(questions) {}

TaskResult RemovalTask::Run() {
    QuestionsNotifier notifier(questions_);
    engine::JobServices services;
    services.notifier = &notifier;
    engine::RemovalReport report;
    TaskResult result;
    result.succeeded =
        engine::RemoveSecurity(directory_, symbol_, services, &report, codePage_) == 0;
    notifier.TellHeld();
    result.message = notifier.last;
    SessionLog log;
    log.Removed(symbol_, report, result.succeeded, notifier.last);
    result.logEntry = log.Last();
    return result;
}

}  // namespace ui
