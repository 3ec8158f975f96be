// The Conversion Settings dialog: the input file's columns and how it is read, the directory and
// the security, and the file as those settings read it (the first records in a list view, and the
// whole file's summary read on a thread of its own). With several files it lists them, each with
// its symbol and name and what reading it whole found, and previews the selected one. It is given
// a form of values before it is shown and gives the confirmed form back after OK; a run that
// refused its settings brings it back with the reason and the focus on the setting.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <vector>

#include "engine/ConversionSettings.h"
#include "engine/DatabaseRun.h"
#include "ui/FileList.h"
#include "ui/Preview.h"
#include "ui/StoredSettings.h"

class SettingsDialog {
public:
    // The files of one run, at least one; detection reads the first, the preview the selected.
    explicit SettingsDialog(const std::vector<std::string>& inputPaths);
    ~SettingsDialog();
    SettingsDialog(const SettingsDialog&) = delete;
    SettingsDialog& operator=(const SettingsDialog&) = delete;

    // The values the dialog holds: those it was given, and after OK those the user confirmed.
    const ui::FormValues& form() const { return form_; }
    void setForm(const ui::FormValues& form) { form_ = form; }

    // Proposes the reading settings from the file's first lines, into the values. With
    // `onlyWhenConfident`, a proposal with doubts is taken only when the values do not read the
    // file. True when the values changed; the line above the preview says what happened.
    bool DetectFromFile(bool onlyWhenConfident);

    // The next showing tells why the run was refused and puts the focus on the control of `field`
    // (the column of `priceField` for a column).
    void ShowRefusal(const std::string& message, engine::SettingsField field,
                     engine::PriceField priceField);

    // Shows the dialog over `owner` until OK or Cancel; true after OK passed every check.
    bool Run(HINSTANCE instance, HWND owner);

    // The run's settings that the confirmed values give for the input file.
    engine::ConversionSettings Settings() const;
    // The run's files, each with the symbol and name it is stored under (none with a symbol
    // column); one file takes those of the form.
    std::vector<engine::InputFile> Inputs() const;
    std::size_t FileCount() const { return files_.Count(); }

private:
    // The reading of the files has read one more; wParam: its generation.
    static constexpr UINT kFactsDone = WM_APP + 3;

    static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInit();
    void OnCommand(int id, int code);
    LRESULT OnNotify(NMHDR* header);
    HBRUSH OnStaticColor(HDC dc, HWND control);
    void OnDestroy();

    HWND Item(int id) const { return GetDlgItem(dialog_, id); }
    std::string ItemText(int id) const;
    void SetItemText(int id, const std::string& text);
    bool Checked(int id) const;
    void SetChecked(int id, bool checked);
    int CheckedRadio(int first, int count) const;

    void ShowForm();
    bool ReadForm();
    bool ReadNumber(int id, const std::function<std::optional<engine::SettingsProblem>(int)>& check,
                    int* value);
    bool ReadText(int id, engine::SettingsField field, std::string* value);
    void Refuse(int id, const std::string& message);
    void Tell(const std::string& message);
    void EnableColumns();
    void OnOk();
    void OnDetect();
    void OnBrowse();
    void OnCreateDirectory();
    void UpdateDirectoryStatus();
    void ShowDetection();
    int ControlOf(engine::SettingsField field, engine::PriceField priceField) const;

    // The preview: the first records now, the whole file's summary a moment later.
    void SchedulePreview();
    void RefreshPreview();
    engine::ConversionSettings ControlSettings() const;
    void ShowPreviewMessage(const std::string& text, bool bad);
    void ClearPreview();
    void FillColumns();
    void ShowRowProblems(int row);
    void StartSummary(const engine::ConversionSettings& settings);
    void StopSummary();
    void OnSummaryProgress(int generation, int permille);
    void OnSummaryDone(int generation);

    // The files of a run of several (SettingsDialogFiles.cpp).
    bool SeveralFiles() const { return files_.Count() > 1; }
    void SetUpFiles();
    engine::OtherColumns ControlColumns() const;
    void ShowOtherColumns();
    bool ReadOtherColumns();
    void OnSymbolColumnChanged();
    void SelectFile(int row);
    void OnFileEdited(int id);
    bool CheckFiles();
    LRESULT OnFilesNotify(NMHDR* header);
    void StartFacts(engine::ConversionSettings settings);
    void StopFacts();
    void OnFactsDone(int generation);

    std::string inputPath_;  // the file the preview shows
    ui::FileList files_;
    int selectedFile_ = 0;
    bool symbolsProposed_ = false;  // in the form's code page, at the first showing
    bool bindingFile_ = false;  // the file's fields are being filled: their changes are not edits
    bool factsStale_ = true;    // the settings changed since the files were last read
    ui::FormValues form_;
    HWND dialog_ = nullptr;
    HINSTANCE instance_ = nullptr;
    std::string detectionLine_;
    std::string detectionReasons_;
    std::string refusal_;
    std::optional<engine::SettingsField> refusalField_;
    int focusOnShow_ = 0;  // the control that has the focus when the dialog shows; 0 for the first
    std::string followedDirectory_;  // the directory the master choice was last set to fit
    std::optional<RECT> placement_;  // where the dialog was: shown again, it stays there
    bool showing_ = false;           // the controls hold the values: changes now count
    bool summaryBad_ = false;
    bool directoryWarns_ = false;
    HBRUSH background_ = nullptr;
    HWND tooltip_ = nullptr;

    ui::PreviewModel preview_;
    std::wstring cellText_;  // the text a list view cell was last given, kept while it draws

    // The whole-file summary runs on `summaryThread_`; it reports through posted messages that
    // carry its generation, and a reading whose generation is no longer current is dropped.
    std::thread summaryThread_;
    std::shared_ptr<std::atomic<bool>> stopSummary_;
    int generation_ = 0;
    std::mutex summaryMutex_;
    std::optional<ui::FileSummary> summaryResult_;
    int summaryResultGeneration_ = -1;

    // What reading each whole file found, likewise on a thread of its own.
    std::thread factsThread_;
    std::shared_ptr<std::atomic<bool>> stopFacts_;
    int factsGeneration_ = 0;
    std::mutex factsMutex_;
    std::vector<std::pair<std::size_t, ui::FileFacts>> factsResults_;
};
