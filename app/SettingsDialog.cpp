#include "app/SettingsDialog.h"

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

#include "app/PreviewPane.h"
#include "app/Prompter.h"
#include "app/SessionView.h"
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

SettingsDialog::SettingsDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("conversionSettingsDialog"));
    setWindowTitle(QStringLiteral("Conversion Settings"));
    BuildControls();
}

SettingsDialog::~SettingsDialog() = default;

int SettingsDialog::DoModal() {
    OnInitDialog();
    return Prompter::instance().Exec(*this);
}

void SettingsDialog::showEvent(QShowEvent* event) {
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
void SettingsDialog::FitScreen() {
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
void SettingsDialog::KeepOnScreen() {
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
void SettingsDialog::EnableColumns() {
    using engine::PriceField;
    m_skipRows->setEnabled(form_.skipOn);
    m_openCol->setEnabled(form_.fields[PriceField::kOpen].on);
    m_hiCol->setEnabled(form_.fields[PriceField::kHigh].on);
    m_loCol->setEnabled(form_.fields[PriceField::kLow].on);
    m_volCol->setEnabled(form_.fields[PriceField::kVolume].on);
    m_oiCol->setEnabled(form_.fields[PriceField::kOpenInterest].on);
}

void SettingsDialog::OnInitDialog() {
    showForm();
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

int SettingsDialog::DateFormatIndex(const QString& text) {
    for (int i = 0; i < static_cast<int>(msdb::kDateFormatNames.size()) && !text.isEmpty(); ++i) {
        const std::string_view name = msdb::kDateFormatNames[static_cast<std::size_t>(i)];
        if (QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()))
                .startsWith(text, Qt::CaseInsensitive)) {
            return i;
        }
    }
    return -1;
}

void SettingsDialog::SelectDateFormat(const QString& text) {
    m_nDateFormatSelection = DateFormatIndex(text);
    m_cbDateFormat->setCurrentIndex(m_nDateFormatSelection);
}

void SettingsDialog::Refuse(QWidget* field, const QString& message) {
    Prompter::instance().Message(this, message);
    field->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(field)) {
        edit->selectAll();
    } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(field)) {
        spin->selectAll();
    }
}

bool SettingsDialog::ReadNumber(SpinEdit* edit, const NumberCheck& check, int* value) {
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

bool SettingsDialog::ReadText(QLineEdit* edit, engine::SettingsField field, std::string* value) {
    const std::string text = Local(edit->text());
    if (std::optional<engine::SettingsProblem> problem = engine::CheckLength(field, text)) {
        Refuse(edit, FromLocal(problem->message));
        return false;
    }
    *value = text;
    return true;
}

void SettingsDialog::showForm() {
    using engine::PriceField;
    const auto& fields = form_.fields;
    m_openCheck->setChecked(fields[PriceField::kOpen].on);
    m_hiCheck->setChecked(fields[PriceField::kHigh].on);
    m_loCheck->setChecked(fields[PriceField::kLow].on);
    m_volCheck->setChecked(fields[PriceField::kVolume].on);
    m_oiCheck->setChecked(fields[PriceField::kOpenInterest].on);
    m_dateCol->SetText(QString::number(fields[PriceField::kDate].column));
    m_openCol->SetText(QString::number(fields[PriceField::kOpen].column));
    m_hiCol->SetText(QString::number(fields[PriceField::kHigh].column));
    m_loCol->SetText(QString::number(fields[PriceField::kLow].column));
    m_cloCol->SetText(QString::number(fields[PriceField::kClose].column));
    m_volCol->SetText(QString::number(fields[PriceField::kVolume].column));
    m_oiCol->SetText(QString::number(fields[PriceField::kOpenInterest].column));
    SetRadio(m_masterGroup, form_.master);
    m_emasterCheck->setChecked(form_.makeEMaster);
    m_nameEdit->setText(FromLocal(form_.name));
    m_pathEdit->setText(FromLocal(form_.directory));
    m_symbolEdit->setText(FromLocal(form_.symbol));
    m_skipRows->SetText(QString::number(form_.skipRows));
    m_skipCheck->setChecked(form_.skipOn);
    SetRadio(m_delimiterGroup, form_.delimiter);
    m_decimalCommaCheck->setChecked(form_.decimalComma);
    SelectDateFormat(FromLocal(form_.dateFormat));
    m_fromEdit->setText(FromLocal(form_.from));
    m_codePageCombo->setCurrentIndex(m_codePageCombo->findData(form_.codePage));
    m_toEdit->setText(FromLocal(form_.to));
}

bool SettingsDialog::readForm() {
    using engine::PriceField;
    auto& fields = form_.fields;
    fields[PriceField::kOpen].on = m_openCheck->isChecked();
    fields[PriceField::kHigh].on = m_hiCheck->isChecked();
    fields[PriceField::kLow].on = m_loCheck->isChecked();
    fields[PriceField::kVolume].on = m_volCheck->isChecked();
    fields[PriceField::kOpenInterest].on = m_oiCheck->isChecked();
    const std::pair<SpinEdit*, PriceField> columns[] = {
        {m_dateCol, PriceField::kDate},      {m_openCol, PriceField::kOpen},
        {m_hiCol, PriceField::kHigh},        {m_loCol, PriceField::kLow},
        {m_cloCol, PriceField::kClose},      {m_volCol, PriceField::kVolume},
        {m_oiCol, PriceField::kOpenInterest}};
    for (const auto& [edit, field] : columns) {
        if (!ReadNumber(
                edit, [field = field](int column) { return engine::CheckColumn(field, column); },
                &fields[field].column)) {
            return false;
        }
    }
    form_.master = m_masterGroup->checkedId();
    form_.makeEMaster = m_emasterCheck->isChecked();
    if (!ReadText(m_nameEdit, engine::SettingsField::kName, &form_.name) ||
        !ReadText(m_pathEdit, engine::SettingsField::kDirectory, &form_.directory) ||
        !ReadText(m_symbolEdit, engine::SettingsField::kSymbol, &form_.symbol) ||
        !ReadNumber(m_skipRows, engine::CheckSkipRows, &form_.skipRows)) {
        return false;
    }
    form_.skipOn = m_skipCheck->isChecked();
    form_.delimiter = m_delimiterGroup->checkedId();
    form_.decimalComma = m_decimalCommaCheck->isChecked();
    const std::string format = Local(m_cbDateFormat->currentText());
    if (std::optional<engine::SettingsProblem> problem =
            engine::CheckLength(engine::SettingsField::kDateFormat, format)) {
        Refuse(m_cbDateFormat, FromLocal(problem->message));
        return false;
    }
    form_.dateFormat = format;
    form_.codePage = m_codePageCombo->currentData().toInt();
    for (auto [edit, date] : {std::pair{m_fromEdit, &form_.from}, std::pair{m_toEdit, &form_.to}}) {
        if (HoldsBadDate(edit)) {
            Refuse(edit, BadDateMessage());
            return false;
        }
        *date = Local(edit->text().trimmed());
    }
    return true;
}

void SettingsDialog::OnCheck(const bool* on, SpinEdit* edit, const char* clearedText) {
    (void)readForm();  // a field that fails has said so; the values read so far stand
    edit->setEnabled(*on);
    if (!*on) {
        edit->SetText(QString::fromLatin1(clearedText));
    }
}

void SettingsDialog::OnCheckOpen() {
    OnCheck(&form_.fields[engine::PriceField::kOpen].on, m_openCol, "1");
}
void SettingsDialog::OnCheckHigh() {
    OnCheck(&form_.fields[engine::PriceField::kHigh].on, m_hiCol, "1");
}
void SettingsDialog::OnCheckLow() {
    OnCheck(&form_.fields[engine::PriceField::kLow].on, m_loCol, "1");
}
void SettingsDialog::OnCheckVolume() {
    OnCheck(&form_.fields[engine::PriceField::kVolume].on, m_volCol, "1");
}
void SettingsDialog::OnCheckOpenInt() {
    OnCheck(&form_.fields[engine::PriceField::kOpenInterest].on, m_oiCol, "1");
}
void SettingsDialog::OnCheckSkipRows() {
    OnCheck(&form_.skipOn, m_skipRows, "0");
}

void SettingsDialog::OnBrowse() {
    const QString chosen = Prompter::instance().ExistingDirectory(
        this, QStringLiteral("Choose Directory"), m_pathEdit->text().trimmed());
    if (!chosen.isEmpty()) {
        m_pathEdit->setText(QDir::toNativeSeparators(chosen));
    }
}

engine::ConversionSettings SettingsDialog::Settings() const {
    engine::ConversionSettings settings = ui::ToSettings(form_, std::string());
    settings.dateFormat = static_cast<engine::DateFormat>(m_nDateFormatSelection + 1);
    return settings;
}

void SettingsDialog::OnOK() {
    using engine::ProblemKind;
    using engine::SettingsField;
    if (!readForm()) {
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
    form_.symbol = engine::NormalizeSymbol(form_.symbol);
    showForm();
    if (const auto* path = FindProblem(problems, ProblemKind::kEmpty, SettingsField::kDirectory)) {
        Prompter::instance().Message(this, FromLocal(path->message));
        return;
    }
    if (m_pView != nullptr) {
        m_pView->m_nDateFormat = m_nDateFormatSelection + 1;
    }
    if (readForm()) {
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

engine::ConversionSettings SettingsDialog::ControlSettings() const {
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

void SettingsDialog::SchedulePreview() {
    if (m_bInitialised) {
        m_previewTimer->start();
    }
}

void SettingsDialog::RefreshPreview() {
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

engine::ConversionSettings SettingsDialog::FormReading() const {
    engine::ConversionSettings settings = ui::ToSettings(form_, Local(m_strInputPath));
    settings.dateFormat =
        static_cast<engine::DateFormat>(DateFormatIndex(FromLocal(form_.dateFormat)) + 1);
    return settings;
}

bool SettingsDialog::DetectFromFile(bool onlyWhenConfident) {
    using engine::PriceField;
    if (m_strInputPath.isEmpty()) {
        return false;
    }
    const engine::ConversionSettings reading = FormReading();
    const ui::Detection detection =
        ui::DetectForForm(Local(m_strInputPath), onlyWhenConfident ? &reading : nullptr);
    m_strDetection = FromLocal(detection.line);
    m_strDetectionReasons = FromLocal(detection.reasons);
    if (!detection.take) {
        return false;
    }
    const engine::DetectedLayout& layout = detection.layout;
    form_.delimiter = layout.delimiter == '\t'  ? 1
                      : layout.delimiter == ' ' ? 2
                      : layout.delimiter == ';' ? 3
                                                : 0;
    form_.decimalComma = layout.decimalComma;
    form_.skipOn = layout.skipRows > 0;
    form_.skipRows = layout.skipRows;
    form_.dateFormat = std::string(msdb::DateFormatName(layout.dateFormat));
    for (PriceField field : {PriceField::kOpen, PriceField::kHigh, PriceField::kLow,
                             PriceField::kVolume, PriceField::kOpenInterest}) {
        const engine::FieldSetting& detected = layout.fields[field];
        form_.fields[field] = {detected.on, detected.on ? detected.column : 1};
    }
    form_.fields[PriceField::kDate].column = layout.fields[PriceField::kDate].column;
    form_.fields[PriceField::kClose].column = layout.fields[PriceField::kClose].column;
    return true;
}

void SettingsDialog::OnDetect() {
    // What detection does not propose stays as typed.
    form_.directory = Local(m_pathEdit->text());
    form_.symbol = Local(m_symbolEdit->text());
    form_.name = Local(m_nameEdit->text());
    form_.master = m_masterGroup->checkedId();
    form_.makeEMaster = m_emasterCheck->isChecked();
    if (DetectFromFile(false)) {
        showForm();
        EnableColumns();
    }
    m_detectionLabel->setText(m_strDetection);
    m_detectionLabel->setToolTip(m_strDetectionReasons);
    m_detectionLabel->setVisible(true);
    m_previewTimer->stop();
    RefreshPreview();
}

void SettingsDialog::UpdateDirectoryStatus() {
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

void SettingsDialog::OnCreateDirectory() {
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

QWidget* SettingsDialog::ControlOf(engine::SettingsField field,
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

void SettingsDialog::ShowRefusal(const QString& message, engine::SettingsField field,
                                 engine::PriceField priceField) {
    m_strRefusal = message;
    m_refusalField = field;
    m_focusOnShow = ControlOf(field, priceField);
    PlaceRefusalBeside(m_focusOnShow);
}

void SettingsDialog::PlaceRefusalBeside(QWidget* control) {
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
