// SettingsDialog: the Conversion Settings dialog. The view gives it a form of values before
// it is shown and reads the form back after OK; the dialog checks ranges, lengths, duplicate
// columns, the symbol and the directory, and tells the view which entry of the date format list was
// chosen. While it is open it shows the input file as the settings read it: the first records in a
// table, and a summary of the whole file read in the background; under the directory it says what
// the directory holds.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>

#include "engine/ConversionSettings.h"
#include "ui/StoredSettings.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class QWidget;
class SessionView;
class PreviewPane;
class SpinEdit;

class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit SettingsDialog(QWidget* parent = nullptr);
    ~SettingsDialog() override;

    // The view whose date format code OK sets.
    void SetView(SessionView* view) { m_pView = view; }

    // The input file that the preview and detection read.
    void SetInputPath(const QString& path) { m_strInputPath = path; }

    // Proposes the reading settings (delimiter, decimal comma, skipping, date format, fields) from
    // the input file's first lines, into the values. With `onlyWhenConfident`, a proposal that
    // detection is not sure of leaves the values as they are. True when the values changed; the
    // line above the preview says what happened either way.
    bool DetectFromFile(bool onlyWhenConfident);

    // Shows the dialog again after a run refused its settings: `message` above the preview and the
    // focus on the control of `field` (the column of `priceField` for a column).
    void ShowRefusal(const QString& message, engine::SettingsField field,
                     engine::PriceField priceField);

    // Runs the dialog (through the prompter); QDialog::Accepted after OK passed every check.
    int DoModal();

    // The settings the values give: directory, symbol, name, master choice, delimiter, skipping,
    // the fields and their columns, and the date format chosen from the list.
    engine::ConversionSettings Settings() const;

    // The values the dialog holds: those it was given, and after OK those the user confirmed.
    const ui::FormValues& form() const { return form_; }
    void setForm(const ui::FormValues& form) { form_ = form; }

    // Puts the values into the controls.
    void showForm();
    // Reads the controls into the values, checking each; stops at the first that fails, after
    // telling the user why and putting the focus on it. The values read before it stand.
    bool readForm();

public slots:
    void OnCheckOpen();
    void OnCheckHigh();
    void OnCheckLow();
    void OnCheckVolume();
    void OnCheckOpenInt();
    void OnCheckSkipRows();
    void OnBrowse();
    void OnOK();
    void OnDetect();
    void OnCreateDirectory();
    // Reads the first records and restarts the whole-file summary with the settings as the
    // controls now give them.
    void RefreshPreview();
    // Says what the typed directory holds and whether the master choice fits it.
    void UpdateDirectoryStatus();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    // Moves the line that says why a run was refused into the group of `control`, under it.
    void PlaceRefusalBeside(QWidget* control);
    void OnInitDialog();
    void FitScreen();
    void KeepOnScreen();
    void EnableColumns();
    // Reads the controls, then enables `edit` when `*on`, else empties it to `clearedText`.
    void OnCheck(const bool* on, SpinEdit* edit, const char* clearedText);
    using NumberCheck = std::function<std::optional<engine::SettingsProblem>(int)>;
    bool ReadNumber(SpinEdit* edit, const NumberCheck& check, int* value);
    bool ReadText(QLineEdit* edit, engine::SettingsField field, std::string* value);
    void Refuse(QWidget* field, const QString& message);
    void SelectDateFormat(const QString& text);
    // The entry of the date format list that `text` begins, without regard to case; -1 for none.
    static int DateFormatIndex(const QString& text);
    // The reading settings the values hold, with the date format as its name gives it.
    engine::ConversionSettings FormReading() const;
    // The reading settings as the controls give them now, without telling the user about values
    // that cannot be read (a column that is no number reads as 0).
    engine::ConversionSettings ControlSettings() const;
    void SchedulePreview();
    QWidget* ControlOf(engine::SettingsField field, engine::PriceField priceField) const;

    ui::FormValues form_;
    SessionView* m_pView = nullptr;
    QString m_strInputPath;
    QString m_strDetection;         // the line above the preview
    QString m_strDetectionReasons;  // why detection proposed what it did, as its tooltip
    QString m_strRefusal;           // why the last run was refused, shown until the dialog closes
    std::optional<engine::SettingsField> m_refusalField;  // the setting it is about
    QString m_followedDirectory;  // the directory the master choice was last set to fit
    QWidget* m_focusOnShow = nullptr;
    bool m_bInitialised = false;
    bool m_bPlaced = false;           // shown and placed once; shown again, it stays where it is
    int m_nDateFormatSelection = -1;  // the list entry chosen, -1 when the text was typed

    SpinEdit* m_dateCol;
    SpinEdit* m_openCol;
    SpinEdit* m_hiCol;
    SpinEdit* m_loCol;
    SpinEdit* m_cloCol;
    SpinEdit* m_volCol;
    SpinEdit* m_oiCol;
    SpinEdit* m_skipRows;
    QCheckBox* m_openCheck;
    QCheckBox* m_hiCheck;
    QCheckBox* m_loCheck;
    QCheckBox* m_volCheck;
    QCheckBox* m_oiCheck;
    QCheckBox* m_skipCheck;
    QRadioButton* m_comma;
    QRadioButton* m_tab;
    QRadioButton* m_space;
    QRadioButton* m_semicolon;
    QCheckBox* m_decimalCommaCheck;
    QButtonGroup* m_delimiterGroup;
    QRadioButton* m_useExisting;
    QRadioButton* m_makeNew;
    QButtonGroup* m_masterGroup;
    QCheckBox* m_emasterCheck;
    QComboBox* m_cbDateFormat;
    QLineEdit* m_pathEdit;
    QLineEdit* m_symbolEdit;
    QLineEdit* m_nameEdit;
    QLineEdit* m_fromEdit;
    QComboBox* m_codePageCombo;
    QLineEdit* m_toEdit;
    QPushButton* m_browse;
    QPushButton* m_createDirectory;
    QPushButton* m_detect;
    QLabel* m_detectionLabel;
    QLabel* m_refusalLabel;
    PreviewPane* m_previewPane;
    QLabel* m_directoryStatus;
    QTimer* m_previewTimer;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};
