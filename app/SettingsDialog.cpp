#include "app/SettingsDialog.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <tuple>

#include "app/FileTable.h"
#include "app/PreviewPane.h"
#include "app/Prompter.h"
#include "app/SessionView.h"
#include "app/SpinEdit.h"
#include "msdb/Encoding.h"
#include "ui/DirectoryStatus.h"
#include "ui/FileStart.h"
#include "ui/Preview.h"

namespace {

namespace limits = engine::limits;

std::string local(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

QString fromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.c_str());
}

// A Dates field holds a day or nothing.
bool holdsBadDate(const QLineEdit* edit) {
    const QString date = edit->text().trimmed();
    return !date.isEmpty() && !engine::ParseIsoDate(local(date));
}

QString badDateMessage() {
    return QString::fromLatin1(ui::kBadDateMessage.data(),
                               static_cast<qsizetype>(ui::kBadDateMessage.size()));
}

// The first problem of `problems` of this kind and, when given, for this setting.
const engine::SettingsProblem* findProblem(const std::vector<engine::SettingsProblem>& problems,
                                           engine::ProblemKind kind,
                                           std::optional<engine::SettingsField> field = {}) {
    for (const engine::SettingsProblem& problem : problems) {
        if (problem.kind == kind && (!field || problem.field == *field)) {
            return &problem;
        }
    }
    return nullptr;
}

void setRadio(QButtonGroup* group, int index) {
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
    buildControls();
}

SettingsDialog::~SettingsDialog() = default;

void SettingsDialog::setInputPaths(const QStringList& paths) {
    filesModel_->setPaths(paths, form_.codePage);
    if (!paths.isEmpty()) {
        inputPath_ = paths.first();
    }
}

void SettingsDialog::setFiles(const ui::FileList& files) {
    filesModel_->setFiles(files);
    if (files.Count() > 0) {
        inputPath_ = fromLocal(files.Path(0));
    }
}

const ui::FileList& SettingsDialog::files() const {
    return filesModel_->files();
}

int SettingsDialog::run() {
    prepareToShow();
    return Prompter::instance().exec(*this);
}

void SettingsDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Placed once: brought back after a refusal, the dialog stays where it was rather than
    // following the lines the refusal added to the session view.
    if (!placed_) {
        fitScreen();
        if (sessionView_ != nullptr) {
            move(sessionView_->placeOffLines(frameGeometry()));
        }
        keepOnScreen();
        placed_ = true;
    }
    QWidget* focus = focusOnShow_ != nullptr ? focusOnShow_ : dateColumn_;
    focus->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(focus)) {
        edit->selectAll();
    } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(focus)) {
        spin->selectAll();
    }
}

// As large as the settings ask for, within the screen's free area less the window's frame; the
// frame is not known before the window is first shown, so a title bar is set aside for it.
void SettingsDialog::fitScreen() {
    const QScreen* shownOn = sessionView_ != nullptr && sessionView_->screen() != nullptr
                                 ? sessionView_->screen()
                                 : screen();
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
void SettingsDialog::keepOnScreen() {
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
void SettingsDialog::enableColumns() {
    using engine::PriceField;
    skipRows_->setEnabled(form_.SkipRowsEnabled());
    openColumn_->setEnabled(form_.ColumnEnabled(PriceField::kOpen));
    highColumn_->setEnabled(form_.ColumnEnabled(PriceField::kHigh));
    lowColumn_->setEnabled(form_.ColumnEnabled(PriceField::kLow));
    volumeColumn_->setEnabled(form_.ColumnEnabled(PriceField::kVolume));
    openIntColumn_->setEnabled(form_.ColumnEnabled(PriceField::kOpenInterest));
    symbolColumn_->setEnabled(symbolColumnCheck_->isChecked());
    nameColumn_->setEnabled(nameColumnCheck_->isChecked());
    periodColumn_->setEnabled(periodColumnCheck_->isChecked());
    seriesColumn_->setEnabled(seriesColumnCheck_->isChecked());
    seriesEdit_->setEnabled(form_.SeriesEnabled());
}

void SettingsDialog::enableSecurityFields() {
    const bool symbolColumn = symbolColumnCheck_->isChecked();
    filesModel_->setSymbolColumn(symbolColumn);
    ui::FormValues shown;
    shown.columns.symbol = symbolColumn ? 1 : 0;
    const bool one = shown.SymbolEnabled(files().Count());
    symbolEdit_->setEnabled(one);
    nameEdit_->setEnabled(one);
    filesGroup_->setVisible(files().Count() > 1 || symbolColumn);
    // Room for the files, up to a few; more scroll, and the preview keeps the rest.
    constexpr std::size_t kFilesShown = 5;
    const auto rows = static_cast<int>(std::clamp<std::size_t>(files().Count(), 1, kFilesShown));
    filesTable_->setMaximumHeight(rows * filesTable_->verticalHeader()->defaultSectionSize() +
                                  filesTable_->horizontalHeader()->sizeHint().height() +
                                  2 * filesTable_->frameWidth());
}

void SettingsDialog::prepareToShow() {
    showForm();
    enableColumns();
    enableSecurityFields();
    filesModel_->setCodePage(form_.codePage);
    detectionLabel_->setText(detectionLine_);
    detectionLabel_->setToolTip(detectionReasons_);
    detectionLabel_->setVisible(!detectionLine_.isEmpty());
    detectButton_->setEnabled(!inputPath_.isEmpty());
    refusalLabel_->setText(refusal_);
    refusalLabel_->setVisible(!refusal_.isEmpty());
    prepared_ = true;
    previewTimer_->stop();
    refreshPreview();
    updateDirectoryStatus();
}

int SettingsDialog::dateFormatIndex(const QString& text) {
    for (int i = 0; i < static_cast<int>(msdb::kDateFormatNames.size()) && !text.isEmpty(); ++i) {
        const std::string_view name = msdb::kDateFormatNames[static_cast<std::size_t>(i)];
        if (QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()))
                .startsWith(text, Qt::CaseInsensitive)) {
            return i;
        }
    }
    return -1;
}

void SettingsDialog::selectDateFormat(const QString& text) {
    dateFormatSelection_ = dateFormatIndex(text);
    dateFormatCombo_->setCurrentIndex(dateFormatSelection_);
}

void SettingsDialog::refuse(QWidget* field, const QString& message) {
    Prompter::instance().message(this, message);
    field->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(field)) {
        edit->selectAll();
    } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(field)) {
        spin->selectAll();
    }
}

bool SettingsDialog::readNumber(SpinEdit* edit, const NumberCheck& check, int* value) {
    bool ok = false;
    qlonglong number = edit->text().trimmed().toLongLong(&ok);
    // Text that is no whole number, or none that an int holds, is out of every range.
    ok = ok && number >= std::numeric_limits<int>::min() &&
         number <= std::numeric_limits<int>::max();
    std::optional<engine::SettingsProblem> problem =
        check(ok ? static_cast<int>(number) : std::numeric_limits<int>::min());
    if (problem) {
        refuse(edit, fromLocal(problem->message));
        return false;
    }
    *value = static_cast<int>(number);
    return true;
}

bool SettingsDialog::readText(QLineEdit* edit, engine::SettingsField field, std::string* value) {
    const std::string text = local(edit->text());
    if (std::optional<engine::SettingsProblem> problem = engine::CheckLength(field, text)) {
        refuse(edit, fromLocal(problem->message));
        return false;
    }
    *value = text;
    return true;
}

void SettingsDialog::showForm() {
    using engine::PriceField;
    const auto& fields = form_.fields;
    openCheck_->setChecked(fields[PriceField::kOpen].on);
    highCheck_->setChecked(fields[PriceField::kHigh].on);
    lowCheck_->setChecked(fields[PriceField::kLow].on);
    volumeCheck_->setChecked(fields[PriceField::kVolume].on);
    openIntCheck_->setChecked(fields[PriceField::kOpenInterest].on);
    dateColumn_->setText(QString::number(fields[PriceField::kDate].column));
    openColumn_->setText(QString::number(fields[PriceField::kOpen].column));
    highColumn_->setText(QString::number(fields[PriceField::kHigh].column));
    lowColumn_->setText(QString::number(fields[PriceField::kLow].column));
    closeColumn_->setText(QString::number(fields[PriceField::kClose].column));
    volumeColumn_->setText(QString::number(fields[PriceField::kVolume].column));
    openIntColumn_->setText(QString::number(fields[PriceField::kOpenInterest].column));
    setRadio(masterGroup_, form_.master);
    emasterCheck_->setChecked(form_.makeEMaster);
    nameEdit_->setText(fromLocal(form_.name));
    pathEdit_->setText(fromLocal(form_.directory));
    symbolEdit_->setText(fromLocal(form_.symbol));
    skipRows_->setText(QString::number(form_.skipRows));
    skipCheck_->setChecked(form_.skipOn);
    setRadio(delimiterGroup_, form_.delimiter);
    decimalCommaCheck_->setChecked(form_.decimalComma);
    selectDateFormat(fromLocal(form_.dateFormat));
    fromEdit_->setText(fromLocal(form_.from));
    codePageCombo_->setCurrentIndex(codePageCombo_->findData(form_.codePage));
    toEdit_->setText(fromLocal(form_.to));
    const std::pair<QCheckBox*, SpinEdit*> others[] = {{symbolColumnCheck_, symbolColumn_},
                                                       {nameColumnCheck_, nameColumn_},
                                                       {periodColumnCheck_, periodColumn_},
                                                       {seriesColumnCheck_, seriesColumn_}};
    const int columns[] = {form_.columns.symbol, form_.columns.name, form_.columns.period,
                           form_.columns.series};
    for (std::size_t i = 0; i < std::size(columns); ++i) {
        // Switched off, a column box keeps what it held, greyed out.
        others[i].first->setChecked(columns[i] != 0);
        if (columns[i] != 0) {
            others[i].second->setText(QString::number(columns[i]));
        }
    }
    seriesEdit_->setText(fromLocal(form_.series));
    updateCheck_->setChecked(form_.update);
    xmasterCheck_->setChecked(form_.xmaster);
}

bool SettingsDialog::readForm() {
    using engine::PriceField;
    auto& fields = form_.fields;
    fields[PriceField::kOpen].on = openCheck_->isChecked();
    fields[PriceField::kHigh].on = highCheck_->isChecked();
    fields[PriceField::kLow].on = lowCheck_->isChecked();
    fields[PriceField::kVolume].on = volumeCheck_->isChecked();
    fields[PriceField::kOpenInterest].on = openIntCheck_->isChecked();
    const std::pair<SpinEdit*, PriceField> columns[] = {
        {dateColumn_, PriceField::kDate},           {openColumn_, PriceField::kOpen},
        {highColumn_, PriceField::kHigh},           {lowColumn_, PriceField::kLow},
        {closeColumn_, PriceField::kClose},         {volumeColumn_, PriceField::kVolume},
        {openIntColumn_, PriceField::kOpenInterest}};
    for (const auto& [edit, field] : columns) {
        if (!readNumber(
                edit, [field = field](int column) { return engine::CheckColumn(field, column); },
                &fields[field].column)) {
            return false;
        }
    }
    const std::tuple<QCheckBox*, SpinEdit*, int*> others[] = {
        {symbolColumnCheck_, symbolColumn_, &form_.columns.symbol},
        {nameColumnCheck_, nameColumn_, &form_.columns.name},
        {periodColumnCheck_, periodColumn_, &form_.columns.period},
        {seriesColumnCheck_, seriesColumn_, &form_.columns.series}};
    for (const auto& [check, edit, column] : others) {
        *column = 0;
        if (check->isChecked() &&
            !readNumber(
                edit,
                [](int number) { return engine::CheckColumn(engine::PriceField::kDate, number); },
                column)) {
            return false;
        }
    }
    // As typed; kept, greyed out, while the series column is off.
    form_.series = local(seriesEdit_->text());
    form_.update = updateCheck_->isChecked();
    form_.xmaster = xmasterCheck_->isChecked();
    form_.master = masterGroup_->checkedId();
    form_.makeEMaster = emasterCheck_->isChecked();
    if (!readText(nameEdit_, engine::SettingsField::kName, &form_.name) ||
        !readText(pathEdit_, engine::SettingsField::kDirectory, &form_.directory) ||
        !readText(symbolEdit_, engine::SettingsField::kSymbol, &form_.symbol) ||
        !readNumber(skipRows_, engine::CheckSkipRows, &form_.skipRows)) {
        return false;
    }
    form_.skipOn = skipCheck_->isChecked();
    form_.delimiter = delimiterGroup_->checkedId();
    form_.decimalComma = decimalCommaCheck_->isChecked();
    const std::string format = local(dateFormatCombo_->currentText());
    if (std::optional<engine::SettingsProblem> problem =
            engine::CheckLength(engine::SettingsField::kDateFormat, format)) {
        refuse(dateFormatCombo_, fromLocal(problem->message));
        return false;
    }
    form_.dateFormat = format;
    form_.codePage = codePageCombo_->currentData().toInt();
    for (auto [edit, date] : {std::pair{fromEdit_, &form_.from}, std::pair{toEdit_, &form_.to}}) {
        if (holdsBadDate(edit)) {
            refuse(edit, badDateMessage());
            return false;
        }
        *date = local(edit->text().trimmed());
    }
    return true;
}

void SettingsDialog::onCheckClicked(const bool* on, SpinEdit* edit) {
    (void)readForm();       // a field that fails has said so; the values read so far stand
    edit->setEnabled(*on);  // switched off, it keeps its column, greyed out
}

void SettingsDialog::onBrowse() {
    const QString chosen = Prompter::instance().existingDirectory(
        this, QStringLiteral("Choose Directory"), pathEdit_->text().trimmed());
    if (!chosen.isEmpty()) {
        pathEdit_->setText(QDir::toNativeSeparators(chosen));
    }
}

engine::ConversionSettings SettingsDialog::settings() const {
    engine::ConversionSettings settings = ui::ToSettings(form_, std::string());
    settings.dateFormat = static_cast<engine::DateFormat>(dateFormatSelection_ + 1);
    return settings;
}

void SettingsDialog::onOk() {
    using engine::ProblemKind;
    using engine::SettingsField;
    if (!readForm()) {
        return;
    }
    // The single values were checked as they were read; what is left are the checks across them.
    // A date format that is none of the list is the conversion's to refuse.
    const std::vector<engine::SettingsProblem> problems = settings().Validate();
    if (const auto* duplicate = findProblem(problems, ProblemKind::kDuplicateColumns)) {
        Prompter::instance().message(this, fromLocal(duplicate->message));
        return;
    }
    if (const auto* comma =
            findProblem(problems, ProblemKind::kConflict, SettingsField::kDecimalComma)) {
        Prompter::instance().message(this, fromLocal(comma->message));
        decimalCommaCheck_->setFocus();
        return;
    }
    if (const auto* range = findProblem(problems, ProblemKind::kConflict, SettingsField::kRange)) {
        Prompter::instance().message(this, fromLocal(range->message));
        fromEdit_->setFocus();
        return;
    }
    const bool oneSecurity = form_.SymbolEnabled(files().Count());
    const auto* symbol = findProblem(problems, ProblemKind::kEmpty, SettingsField::kSymbol);
    if (symbol != nullptr && oneSecurity) {
        Prompter::instance().message(this, fromLocal(symbol->message));
        return;
    }
    if (!oneSecurity && form_.columns.symbol == 0) {
        const std::vector<engine::InputFile> inputs = files().Inputs();
        for (std::size_t row = 0; row < inputs.size(); ++row) {
            if (inputs[row].symbol.empty()) {
                Prompter::instance().message(
                    this, QStringLiteral("Type a symbol for the file %1.")
                              .arg(fromLocal(files().Text(row, ui::FileList::kFile))));
                filesTable_->setFocus();
                filesTable_->setCurrentIndex(
                    filesModel_->index(static_cast<int>(row), ui::FileList::kSymbol));
                return;
            }
        }
    }
    form_.symbol = engine::NormalizeSymbol(form_.symbol);
    showForm();
    if (const auto* path = findProblem(problems, ProblemKind::kEmpty, SettingsField::kDirectory)) {
        Prompter::instance().message(this, fromLocal(path->message));
        return;
    }
    if (readForm()) {
        accept();
    }
}

namespace {

int columnNumber(const SpinEdit* edit) {
    bool ok = false;
    const int number = edit->text().trimmed().toInt(&ok);
    return ok ? number : 0;
}

}  // namespace

engine::ConversionSettings SettingsDialog::controlSettings() const {
    using engine::PriceField;
    engine::ConversionSettings settings;
    settings.inputPath = local(inputPath_);
    const int delimiter = delimiterGroup_->checkedId();
    settings.delimiter = delimiter == 1 ? '\t' : delimiter == 2 ? ' ' : delimiter == 3 ? ';' : ',';
    settings.decimalComma = decimalCommaCheck_->isChecked();
    settings.dateFormat = static_cast<engine::DateFormat>(dateFormatCombo_->currentIndex() + 1);
    settings.skipOn = skipCheck_->isChecked();
    settings.skipRows = std::clamp(columnNumber(skipRows_), 0, limits::kMaxSkipRows);
    settings.fields[PriceField::kDate] = {true, columnNumber(dateColumn_)};
    settings.fields[PriceField::kOpen] = {openCheck_->isChecked(), columnNumber(openColumn_)};
    settings.fields[PriceField::kHigh] = {highCheck_->isChecked(), columnNumber(highColumn_)};
    settings.fields[PriceField::kLow] = {lowCheck_->isChecked(), columnNumber(lowColumn_)};
    settings.fields[PriceField::kClose] = {true, columnNumber(closeColumn_)};
    settings.fields[PriceField::kVolume] = {volumeCheck_->isChecked(), columnNumber(volumeColumn_)};
    settings.fields[PriceField::kOpenInterest] = {openIntCheck_->isChecked(),
                                                  columnNumber(openIntColumn_)};
    settings.from = engine::ParseIsoDate(local(fromEdit_->text().trimmed()));
    settings.to = engine::ParseIsoDate(local(toEdit_->text().trimmed()));
    settings.columns.symbol = symbolColumnCheck_->isChecked() ? columnNumber(symbolColumn_) : 0;
    settings.columns.name = nameColumnCheck_->isChecked() ? columnNumber(nameColumn_) : 0;
    settings.columns.period = periodColumnCheck_->isChecked() ? columnNumber(periodColumn_) : 0;
    settings.columns.series = seriesColumnCheck_->isChecked() ? columnNumber(seriesColumn_) : 0;
    if (settings.columns.series != 0) {
        settings.series = engine::ParseSeriesList(local(seriesEdit_->text()));
    }
    settings.codePage = codePageCombo_->currentData().toInt();
    return settings;
}

void SettingsDialog::schedulePreview() {
    if (prepared_) {
        previewTimer_->start();
    }
}

void SettingsDialog::refreshPreview() {
    filesModel_->forget();
    showSelectedFile();
    if (files().Count() > 1 || symbolColumnCheck_->isChecked()) {
        const engine::ConversionSettings settings = controlSettings();
        if (!holdsBadDate(fromEdit_) && !holdsBadDate(toEdit_) &&
            ui::ReadingProblem(settings.Validate()) == nullptr) {
            filesModel_->readAll(settings);
        }
    }
}

void SettingsDialog::showSelectedFile() {
    if (inputPath_.isEmpty()) {
        previewPane_->showMessage(QStringLiteral("No input file is open."), false);
        return;
    }
    if (holdsBadDate(fromEdit_) || holdsBadDate(toEdit_)) {
        previewPane_->showMessage(badDateMessage(), true);
        return;
    }
    const engine::ConversionSettings settings = controlSettings();
    const std::vector<engine::SettingsProblem> settingsProblems = settings.Validate();
    if (const engine::SettingsProblem* problem = ui::ReadingProblem(settingsProblems)) {
        previewPane_->showMessage(fromLocal(problem->message), true);
        return;
    }
    previewPane_->showFile(settings);
}

engine::ConversionSettings SettingsDialog::formReading() const {
    engine::ConversionSettings settings = ui::ToSettings(form_, local(inputPath_));
    settings.dateFormat =
        static_cast<engine::DateFormat>(dateFormatIndex(fromLocal(form_.dateFormat)) + 1);
    return settings;
}

bool SettingsDialog::detectFromFile(bool onlyWhenConfident) {
    if (inputPath_.isEmpty()) {
        return false;
    }
    const engine::ConversionSettings reading = formReading();
    const ui::Detection detection =
        ui::DetectForForm(local(inputPath_), onlyWhenConfident ? &reading : nullptr);
    detectionLine_ = fromLocal(detection.line);
    detectionReasons_ = fromLocal(detection.reasons);
    if (!detection.take) {
        return false;
    }
    ui::TakeLayout(detection.layout, &form_);
    return true;
}

void SettingsDialog::onDetect() {
    // What detection does not propose stays as typed.
    form_.directory = local(pathEdit_->text());
    form_.symbol = local(symbolEdit_->text());
    form_.name = local(nameEdit_->text());
    form_.master = masterGroup_->checkedId();
    form_.makeEMaster = emasterCheck_->isChecked();
    form_.from = local(fromEdit_->text().trimmed());
    form_.to = local(toEdit_->text().trimmed());
    form_.codePage = codePageCombo_->currentData().toInt();
    if (detectFromFile(false)) {
        showForm();
        enableColumns();
    }
    detectionLabel_->setText(detectionLine_);
    detectionLabel_->setToolTip(detectionReasons_);
    detectionLabel_->setVisible(true);
    previewTimer_->stop();
    refreshPreview();
}

void SettingsDialog::updateDirectoryStatus() {
    const QString typed = pathEdit_->text().trimmed();
    // The master choice follows each directory typed or chosen; the user may still change it.
    if (typed != followedDirectory_) {
        followedDirectory_ = typed;
        const std::optional<int> fitting =
            ui::DescribeDirectory(local(typed), masterGroup_->checkedId()).fittingMaster;
        if (fitting && masterGroup_->checkedId() != *fitting) {
            masterGroup_->button(*fitting)->setChecked(true);  // calls this again
            return;
        }
    }
    emasterCheck_->setEnabled(masterGroup_->checkedId() == 1);
    const ui::DirectoryStatus status =
        ui::DescribeDirectory(local(typed), masterGroup_->checkedId());
    createDirectoryButton_->setVisible(status.missing);
    directoryStatusLabel_->setText(fromLocal(status.text));
    directoryStatusLabel_->setProperty("warning", status.warn);
    directoryStatusLabel_->setStyleSheet(status.warn ? QStringLiteral("color: #b00000;")
                                                     : QString());
}

void SettingsDialog::onCreateDirectory() {
    const QString typed = pathEdit_->text().trimmed();
    if (typed.isEmpty() ||
        !Prompter::instance().question(
            this, QStringLiteral("The directory %1 does not exist.\nCreate it?").arg(typed))) {
        return;
    }
    if (!QDir().mkpath(typed)) {
        Prompter::instance().message(
            this, QStringLiteral("The directory %1 could not be created.").arg(typed));
    } else if (refusalField_ == engine::SettingsField::kDirectory) {
        refusal_.clear();  // the directory that was missing is there now
        refusalLabel_->setVisible(false);
    }
    updateDirectoryStatus();
    pathEdit_->setFocus();
}

QWidget* SettingsDialog::controlOf(engine::SettingsField field,
                                   engine::PriceField priceField) const {
    using engine::PriceField;
    using engine::SettingsField;
    switch (field) {
        case SettingsField::kDirectory:
            return pathEdit_;
        case SettingsField::kSymbol:
            return symbolColumnCheck_->isChecked() ? static_cast<QWidget*>(symbolColumn_)
                   : symbolEdit_->isEnabled()      ? static_cast<QWidget*>(symbolEdit_)
                                                   : filesTable_;
        case SettingsField::kName:
            return nameEdit_->isEnabled() ? static_cast<QWidget*>(nameEdit_) : filesTable_;
        case SettingsField::kMaster:
            return masterGroup_->checkedButton() != nullptr ? masterGroup_->checkedButton()
                                                            : useExistingRadio_;
        case SettingsField::kPeriod:
            if (periodColumnCheck_->isChecked()) {
                return periodColumn_;
            }
            return dateFormatCombo_;  // no control of its own without a period column
        case SettingsField::kDateFormat:
            return dateFormatCombo_;
        case SettingsField::kDecimalComma:
            return decimalCommaCheck_;
        case SettingsField::kSkipRows:
            return skipRows_;
        case SettingsField::kRange:
            return fromEdit_;
        case SettingsField::kCodePage:
            return codePageCombo_;
        case SettingsField::kColumn:
            break;
    }
    const msdb::PerField<SpinEdit*> columns = {{dateColumn_, openColumn_, highColumn_, lowColumn_,
                                                closeColumn_, volumeColumn_, openIntColumn_}};
    return columns[priceField];
}

void SettingsDialog::showRefusal(const QString& message, engine::SettingsField field,
                                 engine::PriceField priceField) {
    refusal_ = message;
    refusalField_ = field;
    focusOnShow_ = controlOf(field, priceField);
    placeRefusalBeside(focusOnShow_);
}

void SettingsDialog::placeRefusalBeside(QWidget* control) {
    QWidget* group = control;
    while (group != nullptr && qobject_cast<QGroupBox*>(group) == nullptr) {
        group = group->parentWidget();
    }
    if (group == nullptr) {
        return;
    }
    // Reparenting takes the label out of the layout it stood in.
    if (auto* grid = qobject_cast<QGridLayout*>(group->layout())) {
        refusalLabel_->setParent(group);
        grid->addWidget(refusalLabel_, grid->rowCount(), 0, 1, grid->columnCount());
    } else if (auto* box = qobject_cast<QBoxLayout*>(group->layout())) {
        refusalLabel_->setParent(group);
        box->addWidget(refusalLabel_);
    }
}
