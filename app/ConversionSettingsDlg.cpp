#include "app/ConversionSettingsDlg.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <tuple>

#include "app/KorvexView.h"
#include "app/PreviewPane.h"
#include "app/Prompter.h"
#include "app/SpinEdit.h"
#include "msdb/Encoding.h"
#include "ui/DirectoryStatus.h"
#include "ui/FileStart.h"

namespace {

namespace limits = engine::limits;

std::string Local(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.c_str());
}

// A Dates field holds a day or nothing.
bool HoldsBadDate(const QLineEdit* edit) {
    const QString date = edit->text().trimmed();
    return !date.isEmpty() && !engine::ParseIsoDate(Local(date));
}

QString BadDateMessage() {
    return QStringLiteral("Write the date as YYYY-MM-DD, from 1961 to 2099, or leave it empty.");
}

// The first problem of `problems` of this kind and, when given, for this setting.
const engine::SettingsProblem* FindProblem(const std::vector<engine::SettingsProblem>& problems,
                                           engine::ProblemKind kind,
                                           std::optional<engine::SettingsField> field = {}) {
    for (const engine::SettingsProblem& problem : problems) {
        if (problem.kind == kind && (!field || problem.field == *field)) {
            return &problem;
        }
    }
    return nullptr;
}

void SetRadio(QButtonGroup* group, int index) {
    group->setExclusive(false);
    for (QAbstractButton* button : group->buttons()) {
        button->setChecked(group->id(button) == index);
    }
    group->setExclusive(true);
}

}  // namespace

CConversionSettingsDlg::CConversionSettingsDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("conversionSettingsDialog"));
    setWindowTitle(QStringLiteral("Conversion Settings"));
    BuildControls();
}

CConversionSettingsDlg::~CConversionSettingsDlg() = default;

int CConversionSettingsDlg::DoModal() {
    OnInitDialog();
    return Prompter::instance().Exec(*this);
}

void CConversionSettingsDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Placed once: brought back after a refusal, the dialog stays where it was rather than
    // following the lines the refusal added to the view.
    if (!m_bPlaced) {
        FitScreen();
        if (m_pView != nullptr) {
            move(m_pView->PlaceOffLines(frameGeometry()));
        }
        KeepOnScreen();
        m_bPlaced = true;
    }
    QWidget* focus = m_focusOnShow != nullptr ? m_focusOnShow : m_dateCol;
    focus->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(focus)) {
        edit->selectAll();
    } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(focus)) {
        spin->selectAll();
    }
}

// As large as the settings ask for, within the screen's free area less the window's frame; the
// frame is not known before the window is first shown, so a title bar is set aside for it.
void CConversionSettingsDlg::FitScreen() {
    const QScreen* shownOn =
        m_pView != nullptr && m_pView->screen() != nullptr ? m_pView->screen() : screen();
    if (shownOn == nullptr) {
        return;
    }
    QSize frame = frameGeometry().size() - size();
    if (frame.isEmpty()) {
        frame = QSize(0, style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this));
    }
    const QSize room = shownOn->availableGeometry().size() - frame;
    // What the settings need now that the controls hold their values.
    findChild<QScrollArea*>()->updateGeometry();
    // Ten more lines of the preview where the screen has room for them.
    QSize wanted = sizeHint() + QSize(0, 10 * fontMetrics().lineSpacing());
    if (wanted.height() > room.height()) {
        // The content scrolls, and its scroll bar takes room beside it.
        wanted.rwidth() += style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    }
    resize(wanted.boundedTo(room).expandedTo(minimumSizeHint()));
}

// The whole frame within the screen's free area, as far as it fits there.
void CConversionSettingsDlg::KeepOnScreen() {
    const QScreen* shownOn = screen();
    if (shownOn == nullptr) {
        return;
    }
    const QRect available = shownOn->availableGeometry();
    const QRect frame = frameGeometry();
    const auto within = [](int at, int length, int first, int room) {
        return std::clamp(at, first, std::max(first, first + room - length));
    };
    move(within(frame.left(), frame.width(), available.left(), available.width()),
         within(frame.top(), frame.height(), available.top(), available.height()));
}

// The column of each field that is switched off, and the rows to skip while skipping is off, are
// greyed out.
void CConversionSettingsDlg::EnableColumns() {
    m_skipRows->setEnabled(m_bSkipOn != 0);
    m_openCol->setEnabled(m_bOpenOn != 0);
    m_hiCol->setEnabled(m_bHiOn != 0);
    m_loCol->setEnabled(m_bLoOn != 0);
    m_volCol->setEnabled(m_bVolOn != 0);
    m_oiCol->setEnabled(m_bOIOn != 0);
}

void CConversionSettingsDlg::OnInitDialog() {
    UpdateData(false);
    EnableColumns();
    m_detectionLabel->setText(m_strDetection);
    m_detectionLabel->setToolTip(m_strDetectionReasons);
    m_detectionLabel->setVisible(!m_strDetection.isEmpty());
    m_detect->setEnabled(!m_strInputPath.isEmpty());
    m_refusalLabel->setText(m_strRefusal);
    m_refusalLabel->setVisible(!m_strRefusal.isEmpty());
    m_bInitialised = true;
    m_previewTimer->stop();
    RefreshPreview();
    UpdateDirectoryStatus();
}

int CConversionSettingsDlg::DateFormatIndex(const QString& text) {
    for (int i = 0; i < static_cast<int>(msdb::kDateFormatNames.size()) && !text.isEmpty(); ++i) {
        const std::string_view name = msdb::kDateFormatNames[static_cast<std::size_t>(i)];
        if (QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()))
                .startsWith(text, Qt::CaseInsensitive)) {
            return i;
        }
    }
    return -1;
}

void CConversionSettingsDlg::SelectDateFormat(const QString& text) {
    m_nDateFormatSelection = DateFormatIndex(text);
    m_cbDateFormat->setCurrentIndex(m_nDateFormatSelection);
}

void CConversionSettingsDlg::Refuse(QWidget* field, const QString& message) {
    Prompter::instance().Message(this, message);
    field->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(field)) {
        edit->selectAll();
    } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(field)) {
        spin->selectAll();
    }
}

bool CConversionSettingsDlg::ReadNumber(SpinEdit* edit, const NumberCheck& check, int* value) {
    bool ok = false;
    qlonglong number = edit->Text().trimmed().toLongLong(&ok);
    // Text that is no whole number, or none that an int holds, is out of every range.
    ok = ok && number >= std::numeric_limits<int>::min() &&
         number <= std::numeric_limits<int>::max();
    std::optional<engine::SettingsProblem> problem =
        check(ok ? static_cast<int>(number) : std::numeric_limits<int>::min());
    if (problem) {
        Refuse(edit, FromLocal(problem->message));
        return false;
    }
    *value = static_cast<int>(number);
    return true;
}

bool CConversionSettingsDlg::ReadText(QLineEdit* edit, engine::SettingsField field,
                                      QString* value) {
    if (std::optional<engine::SettingsProblem> problem =
            engine::CheckLength(field, Local(edit->text()))) {
        Refuse(edit, FromLocal(problem->message));
        return false;
    }
    *value = edit->text();
    return true;
}

bool CConversionSettingsDlg::UpdateData(bool saveAndValidate) {
    if (!saveAndValidate) {
        m_hiCheck->setChecked(m_bHiOn != 0);
        m_loCheck->setChecked(m_bLoOn != 0);
        m_oiCheck->setChecked(m_bOIOn != 0);
        m_openCheck->setChecked(m_bOpenOn != 0);
        m_volCheck->setChecked(m_bVolOn != 0);
        m_dateCol->SetText(QString::number(m_nDateCol));
        m_openCol->SetText(QString::number(m_nOpenCol));
        m_hiCol->SetText(QString::number(m_nHiCol));
        m_loCol->SetText(QString::number(m_nLoCol));
        m_cloCol->SetText(QString::number(m_nCloCol));
        m_volCol->SetText(QString::number(m_nVolCol));
        m_oiCol->SetText(QString::number(m_nOICol));
        SetRadio(m_masterGroup, m_nExist);
        m_emasterCheck->setChecked(m_bEMaster != 0);
        m_nameEdit->setText(m_strName);
        m_pathEdit->setText(m_strPath);
        m_symbolEdit->setText(m_strSymbol);
        m_skipRows->SetText(QString::number(m_nSkipRows));
        m_skipCheck->setChecked(m_bSkipOn != 0);
        SetRadio(m_delimiterGroup, m_nDelimiter);
        m_decimalCommaCheck->setChecked(m_bDecimalComma != 0);
        SelectDateFormat(m_strDateFormat);
        m_fromEdit->setText(m_strFrom);
        m_codePageCombo->setCurrentIndex(m_codePageCombo->findData(m_nCodePage));
        m_toEdit->setText(m_strTo);
        return true;
    }
    m_bHiOn = m_hiCheck->isChecked() ? 1 : 0;
    m_bLoOn = m_loCheck->isChecked() ? 1 : 0;
    m_bOIOn = m_oiCheck->isChecked() ? 1 : 0;
    m_bOpenOn = m_openCheck->isChecked() ? 1 : 0;
    m_bVolOn = m_volCheck->isChecked() ? 1 : 0;
    using engine::PriceField;
    const std::tuple<SpinEdit*, int*, PriceField> columns[] = {
        {m_dateCol, &m_nDateCol, PriceField::kDate},    {m_openCol, &m_nOpenCol, PriceField::kOpen},
        {m_hiCol, &m_nHiCol, PriceField::kHigh},        {m_loCol, &m_nLoCol, PriceField::kLow},
        {m_cloCol, &m_nCloCol, PriceField::kClose},     {m_volCol, &m_nVolCol, PriceField::kVolume},
        {m_oiCol, &m_nOICol, PriceField::kOpenInterest}};
    for (const auto& [edit, member, field] : columns) {
        if (!ReadNumber(
                edit, [field = field](int column) { return engine::CheckColumn(field, column); },
                member)) {
            return false;
        }
    }
    m_nExist = m_masterGroup->checkedId();
    m_bEMaster = m_emasterCheck->isChecked() ? 1 : 0;
    if (!ReadText(m_nameEdit, engine::SettingsField::kName, &m_strName) ||
        !ReadText(m_pathEdit, engine::SettingsField::kDirectory, &m_strPath) ||
        !ReadText(m_symbolEdit, engine::SettingsField::kSymbol, &m_strSymbol) ||
        !ReadNumber(m_skipRows, engine::CheckSkipRows, &m_nSkipRows)) {
        return false;
    }
    m_bSkipOn = m_skipCheck->isChecked() ? 1 : 0;
    m_nDelimiter = m_delimiterGroup->checkedId();
    m_bDecimalComma = m_decimalCommaCheck->isChecked() ? 1 : 0;
    QString format = m_cbDateFormat->currentText();
    if (std::optional<engine::SettingsProblem> problem =
            engine::CheckLength(engine::SettingsField::kDateFormat, Local(format))) {
        Refuse(m_cbDateFormat, FromLocal(problem->message));
        return false;
    }
    m_strDateFormat = format;
    m_nCodePage = m_codePageCombo->currentData().toInt();
    for (auto [edit, member] : {std::pair{m_fromEdit, &m_strFrom}, std::pair{m_toEdit, &m_strTo}}) {
        if (HoldsBadDate(edit)) {
            Refuse(edit, BadDateMessage());
            return false;
        }
        *member = edit->text().trimmed();
    }
    return true;
}

void CConversionSettingsDlg::OnCheck(QCheckBox* box, int* member, SpinEdit* edit,
                                     const char* clearedText) {
    (void)UpdateData(true);  // a field that fails has said so; the values read so far stand
    (void)box;
    edit->setEnabled(*member != 0);
    if (*member == 0) {
        edit->SetText(QString::fromLatin1(clearedText));
    }
}

void CConversionSettingsDlg::OnCheckOpen() {
    OnCheck(m_openCheck, &m_bOpenOn, m_openCol, "1");
}
void CConversionSettingsDlg::OnCheckHigh() {
    OnCheck(m_hiCheck, &m_bHiOn, m_hiCol, "1");
}
void CConversionSettingsDlg::OnCheckLow() {
    OnCheck(m_loCheck, &m_bLoOn, m_loCol, "1");
}
void CConversionSettingsDlg::OnCheckVolume() {
    OnCheck(m_volCheck, &m_bVolOn, m_volCol, "1");
}
void CConversionSettingsDlg::OnCheckOpenInt() {
    OnCheck(m_oiCheck, &m_bOIOn, m_oiCol, "1");
}
void CConversionSettingsDlg::OnCheckSkipRows() {
    OnCheck(m_skipCheck, &m_bSkipOn, m_skipRows, "0");
}

void CConversionSettingsDlg::OnBrowse() {
    const QString chosen = Prompter::instance().ExistingDirectory(
        this, QStringLiteral("Choose Directory"), m_pathEdit->text().trimmed());
    if (!chosen.isEmpty()) {
        m_pathEdit->setText(QDir::toNativeSeparators(chosen));
    }
}

engine::ConversionSettings CConversionSettingsDlg::Settings() const {
    using engine::PriceField;
    engine::ConversionSettings settings;
    settings.directory = Local(m_strPath);
    settings.symbol = Local(m_strSymbol);
    settings.name = Local(m_strName);
    settings.master =
        m_nExist == 0 ? engine::MasterChoice::kUseExisting : engine::MasterChoice::kMakeNew;
    settings.delimiter = m_nDelimiter == 1   ? '\t'
                         : m_nDelimiter == 2 ? ' '
                         : m_nDelimiter == 3 ? ';'
                                             : ',';
    settings.decimalComma = m_bDecimalComma != 0;
    settings.dateFormat = static_cast<engine::DateFormat>(m_nDateFormatSelection + 1);
    settings.skipOn = m_bSkipOn != 0;
    settings.makeEMaster = m_bEMaster != 0 && settings.master == engine::MasterChoice::kMakeNew;
    settings.skipRows = m_nSkipRows;
    settings.fields[PriceField::kDate] = {true, m_nDateCol};
    settings.fields[PriceField::kOpen] = {m_bOpenOn != 0, m_nOpenCol};
    settings.fields[PriceField::kHigh] = {m_bHiOn != 0, m_nHiCol};
    settings.fields[PriceField::kLow] = {m_bLoOn != 0, m_nLoCol};
    settings.fields[PriceField::kClose] = {true, m_nCloCol};
    settings.fields[PriceField::kVolume] = {m_bVolOn != 0, m_nVolCol};
    settings.fields[PriceField::kOpenInterest] = {m_bOIOn != 0, m_nOICol};
    settings.codePage = m_nCodePage;
    settings.from = engine::ParseIsoDate(Local(m_strFrom));
    settings.to = engine::ParseIsoDate(Local(m_strTo));
    return settings;
}

void CConversionSettingsDlg::OnOK() {
    using engine::ProblemKind;
    using engine::SettingsField;
    if (!UpdateData(true)) {
        return;
    }
    // The single values were checked as they were read; what is left are the checks across them.
    // A date format that is none of the list is the conversion's to refuse.
    const std::vector<engine::SettingsProblem> problems = Settings().Validate();
    if (const auto* duplicate = FindProblem(problems, ProblemKind::kDuplicateColumns)) {
        Prompter::instance().Message(this, FromLocal(duplicate->message));
        return;
    }
    if (const auto* comma =
            FindProblem(problems, ProblemKind::kConflict, SettingsField::kDecimalComma)) {
        Prompter::instance().Message(this, FromLocal(comma->message));
        m_decimalCommaCheck->setFocus();
        return;
    }
    if (const auto* range = FindProblem(problems, ProblemKind::kConflict, SettingsField::kRange)) {
        Prompter::instance().Message(this, FromLocal(range->message));
        m_fromEdit->setFocus();
        return;
    }
    if (const auto* symbol = FindProblem(problems, ProblemKind::kEmpty, SettingsField::kSymbol)) {
        Prompter::instance().Message(this, FromLocal(symbol->message));
        return;
    }
    m_strSymbol = FromLocal(engine::NormalizeSymbol(Local(m_strSymbol)));
    UpdateData(false);
    if (const auto* path = FindProblem(problems, ProblemKind::kEmpty, SettingsField::kDirectory)) {
        Prompter::instance().Message(this, FromLocal(path->message));
        return;
    }
    if (m_pView != nullptr) {
        m_pView->m_nDateFormat = m_nDateFormatSelection + 1;
    }
    if (UpdateData(true)) {
        accept();
    }
}

namespace {

// The settings that keep the preview from reading the file at all.
const engine::SettingsProblem* ReadingProblem(
    const std::vector<engine::SettingsProblem>& problems) {
    for (const engine::SettingsProblem& problem : problems) {
        if (problem.kind == engine::ProblemKind::kDuplicateColumns ||
            problem.kind == engine::ProblemKind::kConflict ||
            problem.field == engine::SettingsField::kDateFormat) {
            return &problem;
        }
    }
    return nullptr;
}

int ColumnNumber(const SpinEdit* edit) {
    bool ok = false;
    const int number = edit->Text().trimmed().toInt(&ok);
    return ok ? number : 0;
}

}  // namespace

engine::ConversionSettings CConversionSettingsDlg::ControlSettings() const {
    using engine::PriceField;
    engine::ConversionSettings settings;
    settings.inputPath = Local(m_strInputPath);
    const int delimiter = m_delimiterGroup->checkedId();
    settings.delimiter = delimiter == 1 ? '\t' : delimiter == 2 ? ' ' : delimiter == 3 ? ';' : ',';
    settings.decimalComma = m_decimalCommaCheck->isChecked();
    settings.dateFormat = static_cast<engine::DateFormat>(m_cbDateFormat->currentIndex() + 1);
    settings.skipOn = m_skipCheck->isChecked();
    settings.skipRows = std::clamp(ColumnNumber(m_skipRows), 0, limits::kMaxSkipRows);
    settings.fields[PriceField::kDate] = {true, ColumnNumber(m_dateCol)};
    settings.fields[PriceField::kOpen] = {m_openCheck->isChecked(), ColumnNumber(m_openCol)};
    settings.fields[PriceField::kHigh] = {m_hiCheck->isChecked(), ColumnNumber(m_hiCol)};
    settings.fields[PriceField::kLow] = {m_loCheck->isChecked(), ColumnNumber(m_loCol)};
    settings.fields[PriceField::kClose] = {true, ColumnNumber(m_cloCol)};
    settings.fields[PriceField::kVolume] = {m_volCheck->isChecked(), ColumnNumber(m_volCol)};
    settings.fields[PriceField::kOpenInterest] = {m_oiCheck->isChecked(), ColumnNumber(m_oiCol)};
    settings.from = engine::ParseIsoDate(Local(m_fromEdit->text().trimmed()));
    settings.to = engine::ParseIsoDate(Local(m_toEdit->text().trimmed()));
    return settings;
}

void CConversionSettingsDlg::SchedulePreview() {
    if (m_bInitialised) {
        m_previewTimer->start();
    }
}

void CConversionSettingsDlg::RefreshPreview() {
    if (m_strInputPath.isEmpty()) {
        m_previewPane->ShowMessage(QStringLiteral("No input file is open."), false);
        return;
    }
    if (HoldsBadDate(m_fromEdit) || HoldsBadDate(m_toEdit)) {
        m_previewPane->ShowMessage(BadDateMessage(), true);
        return;
    }
    const engine::ConversionSettings settings = ControlSettings();
    const std::vector<engine::SettingsProblem> settingsProblems = settings.Validate();
    if (const engine::SettingsProblem* problem = ReadingProblem(settingsProblems)) {
        m_previewPane->ShowMessage(FromLocal(problem->message), true);
        return;
    }
    m_previewPane->Show(settings);
}

// The reading settings the members hold, with the date format as its name gives it.
engine::ConversionSettings CConversionSettingsDlg::MemberSettings() const {
    engine::ConversionSettings settings = Settings();
    settings.inputPath = Local(m_strInputPath);
    settings.dateFormat = static_cast<engine::DateFormat>(DateFormatIndex(m_strDateFormat) + 1);
    return settings;
}

bool CConversionSettingsDlg::DetectFromFile(bool onlyWhenConfident) {
    using engine::PriceField;
    if (m_strInputPath.isEmpty()) {
        return false;
    }
    const engine::ConversionSettings members = MemberSettings();
    const ui::Detection detection =
        ui::DetectForForm(Local(m_strInputPath), onlyWhenConfident ? &members : nullptr);
    m_strDetection = FromLocal(detection.line);
    m_strDetectionReasons = FromLocal(detection.reasons);
    if (!detection.take) {
        return false;
    }
    const engine::DetectedLayout& layout = detection.layout;
    m_nDelimiter = layout.delimiter == '\t'  ? 1
                   : layout.delimiter == ' ' ? 2
                   : layout.delimiter == ';' ? 3
                                             : 0;
    m_bDecimalComma = layout.decimalComma ? 1 : 0;
    m_bSkipOn = layout.skipRows > 0 ? 1 : 0;
    m_nSkipRows = layout.skipRows;
    m_strDateFormat = FromLocal(std::string(msdb::DateFormatName(layout.dateFormat)));
    const std::tuple<PriceField, int*, int*> fields[] = {
        {PriceField::kOpen, &m_bOpenOn, &m_nOpenCol},
        {PriceField::kHigh, &m_bHiOn, &m_nHiCol},
        {PriceField::kLow, &m_bLoOn, &m_nLoCol},
        {PriceField::kVolume, &m_bVolOn, &m_nVolCol},
        {PriceField::kOpenInterest, &m_bOIOn, &m_nOICol}};
    for (const auto& [field, on, column] : fields) {
        *on = layout.fields[field].on ? 1 : 0;
        *column = layout.fields[field].on ? layout.fields[field].column : 1;
    }
    m_nDateCol = layout.fields[PriceField::kDate].column;
    m_nCloCol = layout.fields[PriceField::kClose].column;
    return true;
}

void CConversionSettingsDlg::OnDetect() {
    // What detection does not propose stays as typed.
    m_strPath = m_pathEdit->text();
    m_strSymbol = m_symbolEdit->text();
    m_strName = m_nameEdit->text();
    m_nExist = m_masterGroup->checkedId();
    m_bEMaster = m_emasterCheck->isChecked() ? 1 : 0;
    if (DetectFromFile(false)) {
        UpdateData(false);
        EnableColumns();
    }
    m_detectionLabel->setText(m_strDetection);
    m_detectionLabel->setToolTip(m_strDetectionReasons);
    m_detectionLabel->setVisible(true);
    m_previewTimer->stop();
    RefreshPreview();
}

void CConversionSettingsDlg::UpdateDirectoryStatus() {
    const QString typed = m_pathEdit->text().trimmed();
    // The master choice follows each directory typed or chosen; the user may still change it.
    if (typed != m_followedDirectory) {
        m_followedDirectory = typed;
        const std::optional<int> fitting =
            ui::DescribeDirectory(Local(typed), m_masterGroup->checkedId()).fittingMaster;
        if (fitting && m_masterGroup->checkedId() != *fitting) {
            m_masterGroup->button(*fitting)->setChecked(true);  // calls this again
            return;
        }
    }
    m_emasterCheck->setEnabled(m_masterGroup->checkedId() == 1);
    const ui::DirectoryStatus status =
        ui::DescribeDirectory(Local(typed), m_masterGroup->checkedId());
    m_createDirectory->setVisible(status.missing);
    m_directoryStatus->setText(FromLocal(status.text));
    m_directoryStatus->setProperty("warning", status.warn);
    m_directoryStatus->setStyleSheet(status.warn ? QStringLiteral("color: #b00000;") : QString());
}

void CConversionSettingsDlg::OnCreateDirectory() {
    const QString typed = m_pathEdit->text().trimmed();
    if (typed.isEmpty() ||
        !Prompter::instance().Question(
            this, QStringLiteral("The directory %1 does not exist.\nCreate it?").arg(typed))) {
        return;
    }
    if (!QDir().mkpath(typed)) {
        Prompter::instance().Message(
            this, QStringLiteral("The directory %1 could not be created.").arg(typed));
    } else if (m_refusalField == engine::SettingsField::kDirectory) {
        m_strRefusal.clear();  // the directory that was missing is there now
        m_refusalLabel->setVisible(false);
    }
    UpdateDirectoryStatus();
    m_pathEdit->setFocus();
}

QWidget* CConversionSettingsDlg::ControlOf(engine::SettingsField field,
                                           engine::PriceField priceField) const {
    using engine::PriceField;
    using engine::SettingsField;
    switch (field) {
        case SettingsField::kDirectory:
            return m_pathEdit;
        case SettingsField::kSymbol:
            return m_symbolEdit;
        case SettingsField::kName:
            return m_nameEdit;
        case SettingsField::kMaster:
            return m_masterGroup->checkedButton() != nullptr ? m_masterGroup->checkedButton()
                                                             : m_useExisting;
        case SettingsField::kDateFormat:
            return m_cbDateFormat;
        case SettingsField::kDecimalComma:
            return m_decimalCommaCheck;
        case SettingsField::kSkipRows:
            return m_skipRows;
        case SettingsField::kRange:
            return m_fromEdit;
        case SettingsField::kCodePage:
            return m_codePageCombo;
        case SettingsField::kColumn:
            break;
    }
    const msdb::PerField<SpinEdit*> columns = {
        {m_dateCol, m_openCol, m_hiCol, m_loCol, m_cloCol, m_volCol, m_oiCol}};
    return columns[priceField];
}

void CConversionSettingsDlg::ShowRefusal(const QString& message, engine::SettingsField field,
                                         engine::PriceField priceField) {
    m_strRefusal = message;
    m_refusalField = field;
    m_focusOnShow = ControlOf(field, priceField);
    PlaceRefusalBeside(m_focusOnShow);
}

void CConversionSettingsDlg::PlaceRefusalBeside(QWidget* control) {
    QWidget* group = control;
    while (group != nullptr && qobject_cast<QGroupBox*>(group) == nullptr) {
        group = group->parentWidget();
    }
    if (group == nullptr) {
        return;
    }
    // Reparenting takes the label out of the layout it stood in.
    if (auto* grid = qobject_cast<QGridLayout*>(group->layout())) {
        m_refusalLabel->setParent(group);
        grid->addWidget(m_refusalLabel, grid->rowCount(), 0, 1, grid->columnCount());
    } else if (auto* box = qobject_cast<QBoxLayout*>(group->layout())) {
        m_refusalLabel->setParent(group);
        box->addWidget(m_refusalLabel);
    }
}

ui::FormValues CConversionSettingsDlg::Form() const {
    using engine::PriceField;
    ui::FormValues form;
    form.directory = Local(m_strPath);
    form.symbol = Local(m_strSymbol);
    form.name = Local(m_strName);
    form.master = m_nExist;
    form.makeEMaster = m_bEMaster != 0;
    form.delimiter = m_nDelimiter;
    form.decimalComma = m_bDecimalComma != 0;
    form.dateFormat = Local(m_strDateFormat);
    form.skipOn = m_bSkipOn != 0;
    form.skipRows = m_nSkipRows;
    form.from = Local(m_strFrom);
    form.to = Local(m_strTo);
    form.codePage = m_nCodePage;
    form.fields[PriceField::kDate] = {true, m_nDateCol};
    form.fields[PriceField::kOpen] = {m_bOpenOn != 0, m_nOpenCol};
    form.fields[PriceField::kHigh] = {m_bHiOn != 0, m_nHiCol};
    form.fields[PriceField::kLow] = {m_bLoOn != 0, m_nLoCol};
    form.fields[PriceField::kClose] = {true, m_nCloCol};
    form.fields[PriceField::kVolume] = {m_bVolOn != 0, m_nVolCol};
    form.fields[PriceField::kOpenInterest] = {m_bOIOn != 0, m_nOICol};
    return form;
}

void CConversionSettingsDlg::SetForm(const ui::FormValues& form) {
    using engine::PriceField;
    m_strPath = FromLocal(form.directory);
    m_strSymbol = FromLocal(form.symbol);
    m_strName = FromLocal(form.name);
    m_nExist = form.master;
    m_bEMaster = form.makeEMaster ? 1 : 0;
    m_nDelimiter = form.delimiter;
    m_bDecimalComma = form.decimalComma ? 1 : 0;
    m_strDateFormat = FromLocal(form.dateFormat);
    m_bSkipOn = form.skipOn ? 1 : 0;
    m_nSkipRows = form.skipRows;
    m_strFrom = FromLocal(form.from);
    m_strTo = FromLocal(form.to);
    m_nCodePage = form.codePage;
    const auto on = [&](PriceField field) { return form.fields[field].on ? 1 : 0; };
    m_nDateCol = form.fields[PriceField::kDate].column;
    m_bOpenOn = on(PriceField::kOpen);
    m_nOpenCol = form.fields[PriceField::kOpen].column;
    m_bHiOn = on(PriceField::kHigh);
    m_nHiCol = form.fields[PriceField::kHigh].column;
    m_bLoOn = on(PriceField::kLow);
    m_nLoCol = form.fields[PriceField::kLow].column;
    m_nCloCol = form.fields[PriceField::kClose].column;
    m_bVolOn = on(PriceField::kVolume);
    m_nVolCol = form.fields[PriceField::kVolume].column;
    m_bOIOn = on(PriceField::kOpenInterest);
    m_nOICol = form.fields[PriceField::kOpenInterest].column;
}
