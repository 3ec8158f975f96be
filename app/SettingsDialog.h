// SettingsDialog: the Conversion Settings dialog. The session view gives it a form of values before
// it is shown and reads the form back after OK, with the run's settings, whose date format is the
// entry of the list chosen. The dialog checks ranges, lengths, duplicate columns, the symbol and
// the directory. While it is open it shows the input file as the settings read it: the first
// records in a table, and a summary of the whole file read in the background; under the directory
// it says what the directory holds. Several files, or a file with a symbol column, are listed above
// the preview with what each holds, their symbols and names edited in place; the preview shows the
// file selected there.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "engine/ConversionSettings.h"
#include "ui/FileList.h"
#include "ui/StoredSettings.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QTableView;
class FileTableModel;
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

    // The pane whose lines the dialog, when first shown, is placed off.
    void setSessionView(const SessionView* view) { sessionView_ = view; }

    // The input file that the preview and detection read.
    void setInputPath(const QString& path) { inputPath_ = path; }
    // The files of the run, each with the symbol its name proposes; the first is previewed.
    void setInputPaths(const QStringList& paths);
    // The files of the run with their symbols and names as confirmed before.
    void setFiles(const ui::FileList& files);
    // The files of the run, with the symbols and names as edited.
    const ui::FileList& files() const;

    // Proposes the reading settings (delimiter, decimal comma, skipping, date format, fields) from
    // the input file's first lines, into the values. With `onlyWhenConfident`, a proposal that
    // detection is not sure of leaves the values as they are. True when the values changed; the
    // line above the preview says what happened either way.
    bool detectFromFile(bool onlyWhenConfident);

    // Shows the dialog again after a run refused its settings: `message` above the preview and the
    // focus on the control of `field` (the column of `priceField` for a column).
    void showRefusal(const QString& message, engine::SettingsField field,
                     engine::PriceField priceField);

    // Runs the dialog (through the prompter); QDialog::Accepted after OK passed every check.
    int run();

    // The settings the values give: directory, symbol, name, master choice, delimiter, skipping,
    // the fields and their columns, and the date format chosen from the list.
    engine::ConversionSettings settings() const;

    // The values the dialog holds: those it was given, and after OK those the user confirmed.
    const ui::FormValues& form() const { return form_; }
    void setForm(const ui::FormValues& form) { form_ = form; }

    // Puts the values into the controls.
    void showForm();
    // Reads the controls into the values, checking each; stops at the first that fails, after
    // telling the user why and putting the focus on it. The values read before it stand.
    bool readForm();

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    void onBrowse();
    void onOk();
    void onDetect();
    void onCreateDirectory();
    // Reads the first records and restarts the whole-file summary with the settings as the
    // controls now give them; with a list of files, reads each of them again too.
    void refreshPreview();
    // Shows the file selected in the list of files in the preview.
    void showSelectedFile();
    // Says what the typed directory holds and whether the master choice fits it.
    void updateDirectoryStatus();

private:
    void buildControls();
    // Moves the line that says why a run was refused into the group of `control`, under it.
    void placeRefusalBeside(QWidget* control);
    // Fills the controls and the lines above the preview from the values, before each showing.
    void prepareToShow();
    void fitScreen();
    void keepOnScreen();
    void enableColumns();
    // The symbol and name fields are for one file without a symbol column; the list of files
    // shows with several files or a symbol column.
    void enableSecurityFields();
    // A field's check box was clicked: reads the controls, then enables `edit` when `*on` and
    // greys it out, keeping its value, when not.
    void onCheckClicked(const bool* on, SpinEdit* edit);
    using NumberCheck = std::function<std::optional<engine::SettingsProblem>(int)>;
    bool readNumber(SpinEdit* edit, const NumberCheck& check, int* value);
    bool readText(QLineEdit* edit, engine::SettingsField field, std::string* value);
    void refuse(QWidget* field, const QString& message);
    void selectDateFormat(const QString& text);
    // The entry of the date format list that `text` begins, without regard to case; -1 for none.
    static int dateFormatIndex(const QString& text);
    // The reading settings the values hold, with the date format as its name gives it.
    engine::ConversionSettings formReading() const;
    // The reading settings as the controls give them now, without telling the user about values
    // that cannot be read (a column that is no number reads as 0).
    engine::ConversionSettings controlSettings() const;
    void schedulePreview();
    QWidget* controlOf(engine::SettingsField field, engine::PriceField priceField) const;

    ui::FormValues form_;
    const SessionView* sessionView_ = nullptr;
    QString inputPath_;
    QString detectionLine_;     // the line above the preview
    QString detectionReasons_;  // why detection proposed what it did, as its tooltip
    QString refusal_;           // why the last run was refused, shown until the dialog closes
    std::optional<engine::SettingsField> refusalField_;  // the setting it is about
    QString followedDirectory_;  // the directory the master choice was last set to fit
    QWidget* focusOnShow_ = nullptr;
    bool prepared_ = false;
    bool placed_ = false;           // shown and placed once; shown again, it stays where it is
    int dateFormatSelection_ = -1;  // the list entry chosen, -1 when none is

    SpinEdit* dateColumn_;
    SpinEdit* openColumn_;
    SpinEdit* highColumn_;
    SpinEdit* lowColumn_;
    SpinEdit* closeColumn_;
    SpinEdit* volumeColumn_;
    SpinEdit* openIntColumn_;
    SpinEdit* skipRows_;
    QCheckBox* openCheck_;
    QCheckBox* highCheck_;
    QCheckBox* lowCheck_;
    QCheckBox* volumeCheck_;
    QCheckBox* openIntCheck_;
    QCheckBox* skipCheck_;
    QCheckBox* symbolColumnCheck_;
    QCheckBox* nameColumnCheck_;
    QCheckBox* periodColumnCheck_;
    QCheckBox* seriesColumnCheck_;
    SpinEdit* symbolColumn_;
    SpinEdit* nameColumn_;
    SpinEdit* periodColumn_;
    SpinEdit* seriesColumn_;
    QLineEdit* seriesEdit_;  // the series to keep, with a series column
    QCheckBox* updateCheck_;
    QCheckBox* xmasterCheck_;
    QGroupBox* filesGroup_;
    QTableView* filesTable_;
    FileTableModel* filesModel_;
    QRadioButton* commaRadio_;
    QRadioButton* tabRadio_;
    QRadioButton* spaceRadio_;
    QRadioButton* semicolonRadio_;
    QCheckBox* decimalCommaCheck_;
    QButtonGroup* delimiterGroup_;
    QRadioButton* useExistingRadio_;
    QRadioButton* makeNewRadio_;
    QButtonGroup* masterGroup_;
    QCheckBox* emasterCheck_;
    QComboBox* dateFormatCombo_;
    QLineEdit* pathEdit_;
    QLineEdit* symbolEdit_;
    QLineEdit* nameEdit_;
    QLineEdit* fromEdit_;
    QComboBox* codePageCombo_;
    QLineEdit* toEdit_;
    QPushButton* browseButton_;
    QPushButton* createDirectoryButton_;
    QPushButton* detectButton_;
    QLabel* detectionLabel_;
    QLabel* refusalLabel_;
    PreviewPane* previewPane_;
    QLabel* directoryStatusLabel_;
    QTimer* previewTimer_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
};
