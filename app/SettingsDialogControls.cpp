// The controls of the Conversion Settings dialog: their groups and layout, mnemonics, help texts,
// tab order, and what each change of them sets off.
#include "app/SettingsDialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QShortcut>
#include <QSpacerItem>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <optional>
#include <tuple>

#include "app/FileTable.h"
#include "app/HelpWindow.h"
#include "app/PreviewPane.h"
#include "app/Prompter.h"
#include "app/SpinEdit.h"
#include "msdb/CodePage.h"
#include "msdb/Encoding.h"
#include "msdb/Reader.h"

namespace {

namespace limits = engine::limits;

// 31 December 2024, the day each date format of the list is shown with.
constexpr msdb::CalendarDay kExampleDay{2024, 12, 31};

// A date format code with the example day written in it, "MM_DD_CCYY — 12/31/2024"; any other
// text as it is.
QString withExample(const QString& code) {
    const std::optional<msdb::DateFormat> format = msdb::ParseDateFormatName(code.toStdString());
    if (!format) {
        return code;
    }
    return code + QStringLiteral(" \u2014 ") +
           QString::fromStdString(msdb::DateText(kExampleDay, *format));
}

// The list of date formats shows each code with its example; the item's text, which the dialog
// reads and stores, stays the bare code.
class DateFormatDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant& value, const QLocale&) const override {
        return withExample(value.toString());
    }
};

// The closed box shows the chosen code with its example too, and is wide enough for the longest.
class DateFormatComboBox final : public QComboBox {
public:
    QSize sizeHint() const override { return widened(QComboBox::sizeHint()); }
    QSize minimumSizeHint() const override { return widened(QComboBox::minimumSizeHint()); }

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionComboBox option;
        initStyleOption(&option);
        option.currentText = withExample(currentText());
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    }

private:
    // `size` made as much wider as the longest code's example adds to it.
    QSize widened(QSize size) const {
        int codes = 0;
        int shown = 0;
        for (int i = 0; i < count(); ++i) {
            codes = std::max(codes, fontMetrics().horizontalAdvance(itemText(i)));
            shown = std::max(shown, fontMetrics().horizontalAdvance(withExample(itemText(i))));
        }
        size.rwidth() += shown - codes;
        return size;
    }
};

// Asks for room for the whole of what it holds, which QScrollArea caps at a size of its own
// choosing; the dialog then opens as large as its settings need, within the screen.
class FittingScrollArea final : public QScrollArea {
public:
    QSize sizeHint() const override {
        if (widget() == nullptr) {
            return QScrollArea::sizeHint();
        }
        QSize size = widget()->sizeHint();
        // Wrapped lines may need more height at that width than the hint says.
        if (widget()->hasHeightForWidth()) {
            size.setHeight(std::max(size.height(), widget()->heightForWidth(size.width())));
        }
        const int frame = 2 * frameWidth();
        return size + QSize(frame, frame);
    }
};

QString fromLocalPath(const std::string& path) {
    return QString::fromLocal8Bit(path.c_str());
}

SpinEdit* makeSpin(const char* name, int minimum, int maximum, QWidget* parent) {
    auto* spin = new SpinEdit(parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(minimum, maximum);
    spin->setMinimumWidth(56);
    return spin;
}

}  // namespace

void SettingsDialog::buildControls() {
    // Input File: Supported Fields and Column Assignments
    auto* fields =
        new QGroupBox(QStringLiteral("Input File: Supported Fields and Column Assignments"));
    auto* fieldGrid = new QGridLayout(fields);
    dateColumn_ = makeSpin("dateColumnEdit", 1, 20, this);
    openCheck_ = new QCheckBox(QStringLiteral("&Open"));
    openColumn_ = makeSpin("openColumnEdit", 1, 20, this);
    highCheck_ = new QCheckBox(QStringLiteral("Hi&gh"));
    highColumn_ = makeSpin("highColumnEdit", 1, 20, this);
    lowCheck_ = new QCheckBox(QStringLiteral("Lo&w"));
    lowColumn_ = makeSpin("lowColumnEdit", 1, 20, this);
    closeColumn_ = makeSpin("closeColumnEdit", 1, 20, this);
    volumeCheck_ = new QCheckBox(QStringLiteral("&Volume"));
    volumeColumn_ = makeSpin("volumeColumnEdit", 1, 20, this);
    openIntCheck_ = new QCheckBox(QStringLiteral("O&pen Int"));
    openIntColumn_ = makeSpin("openIntColumnEdit", 1, 20, this);
    openCheck_->setObjectName(QStringLiteral("openCheck"));
    highCheck_->setObjectName(QStringLiteral("highCheck"));
    lowCheck_->setObjectName(QStringLiteral("lowCheck"));
    volumeCheck_->setObjectName(QStringLiteral("volumeCheck"));
    openIntCheck_->setObjectName(QStringLiteral("openIntCheck"));
    // Date and Close are always read, so their headings are plain labels. Each column box has its
    // own Alt key, the digit of its place from Date to Open Int, on a small label beside it: the
    // field's letter stays with its check box, which it toggles.
    const std::array<std::pair<QWidget*, SpinEdit*>, 7> columns = {
        {{new QLabel(QStringLiteral("Date")), dateColumn_},
         {openCheck_, openColumn_},
         {highCheck_, highColumn_},
         {lowCheck_, lowColumn_},
         {new QLabel(QStringLiteral("Close")), closeColumn_},
         {volumeCheck_, volumeColumn_},
         {openIntCheck_, openIntColumn_}}};
    for (int i = 0; i < 7; ++i) {
        auto* key = new QLabel(QStringLiteral("&%1").arg(i + 1));
        key->setObjectName(columns[i].second->objectName() + QStringLiteral("Key"));
        key->setBuddy(columns[i].second);
        key->setToolTip(QStringLiteral("Alt+%1").arg(i + 1));
        auto* box = new QHBoxLayout;
        box->setSpacing(2);
        box->addWidget(key);
        box->addWidget(columns[i].second, 1);
        fieldGrid->addWidget(columns[i].first, 0, i);
        fieldGrid->addLayout(box, 1, i);
    }
    // The columns that are not prices, each line's symbol (a file of many securities), name,
    // period and series, under the detail settings: symbol, name and period in one row, the
    // series and the series to keep under them. The letters are all taken: each check box goes
    // without text beside its heading, and the column boxes of symbol, name and period have
    // their digits, Alt+8 to Alt+0. No digit is left for the series column's box nor a letter
    // for the series to keep: Tab reaches them.
    auto* otherGrid = new QGridLayout;
    otherGrid->setHorizontalSpacing(4);
    symbolColumnCheck_ = new QCheckBox;
    nameColumnCheck_ = new QCheckBox;
    periodColumnCheck_ = new QCheckBox;
    seriesColumnCheck_ = new QCheckBox;
    symbolColumnCheck_->setObjectName(QStringLiteral("symbolColumnCheck"));
    nameColumnCheck_->setObjectName(QStringLiteral("nameColumnCheck"));
    periodColumnCheck_->setObjectName(QStringLiteral("periodColumnCheck"));
    seriesColumnCheck_->setObjectName(QStringLiteral("seriesColumnCheck"));
    symbolColumn_ = makeSpin("symbolColumnEdit", 1, 20, this);
    nameColumn_ = makeSpin("nameColumnEdit", 1, 20, this);
    periodColumn_ = makeSpin("periodColumnEdit", 1, 20, this);
    seriesColumn_ = makeSpin("seriesColumnEdit", 1, 20, this);
    symbolColumnCheck_->setWhatsThis(QStringLiteral(
        "The file holds the prices of many securities, each line's symbol in this column: each "
        "symbol's lines become the records of its own security."));
    nameColumnCheck_->setWhatsThis(
        QStringLiteral("The column of each security's name; its first line that gives one "
                       "names it."));
    periodColumnCheck_->setWhatsThis(
        QStringLiteral("The column of each line's period: D, W or M (daily, weekly or monthly)."));
    seriesColumnCheck_->setWhatsThis(
        QStringLiteral("The column of each line's series, as exchanges list a symbol in several: "
                       "EQ, BE, BL, ..."));
    const std::array<std::pair<QCheckBox*, SpinEdit*>, 4> others = {
        {{symbolColumnCheck_, symbolColumn_},
         {nameColumnCheck_, nameColumn_},
         {periodColumnCheck_, periodColumn_},
         {seriesColumnCheck_, seriesColumn_}}};
    const std::array<QString, 4> headings = {QStringLiteral("Symbol"), QStringLiteral("Name"),
                                             QStringLiteral("Period"), QStringLiteral("Series")};
    // Each column takes five of the grid's: check box, heading, key, box and a gap before the
    // next, so that the series lines up under the symbol.
    constexpr int kKeyedColumns = 3;  // the digits 8, 9 and 0
    constexpr int kGridColumns = 5;
    for (int i = 0; i < 4; ++i) {
        const int row = i / kKeyedColumns;
        const int at = (i % kKeyedColumns) * kGridColumns;
        others[i].first->setAccessibleName(headings[i] + QStringLiteral(" column"));
        others[i].first->setToolTip(others[i].first->whatsThis());
        otherGrid->addWidget(others[i].first, row, at);
        otherGrid->addWidget(new QLabel(headings[i] + QStringLiteral(" column")), row, at + 1);
        if (i < kKeyedColumns) {
            const int digit = (8 + i) % 10;
            auto* key = new QLabel(QStringLiteral("&%1").arg(digit));
            key->setObjectName(others[i].second->objectName() + QStringLiteral("Key"));
            key->setBuddy(others[i].second);
            key->setToolTip(QStringLiteral("Alt+%1").arg(digit));
            key->setContentsMargins(4, 0, 0, 0);
            otherGrid->addWidget(key, row, at + 2);
        }
        others[i].second->setText(QStringLiteral("1"));
        otherGrid->addWidget(others[i].second, row, at + 3);
        otherGrid->addItem(new QSpacerItem(8, 0, QSizePolicy::Fixed), row, at + 4);
    }
    seriesColumn_->setAccessibleName(QStringLiteral("Series column number"));  // no key label
    seriesEdit_ = new QLineEdit;
    seriesEdit_->setObjectName(QStringLiteral("seriesEdit"));
    seriesEdit_->setAccessibleName(QStringLiteral("Series to keep"));
    seriesEdit_->setPlaceholderText(QStringLiteral("all"));
    seriesEdit_->setWhatsThis(
        QStringLiteral("The series whose lines are read, separated by commas, as EQ,BE; empty for "
                       "all of them."));
    seriesEdit_->setToolTip(seriesEdit_->whatsThis());
    auto* seriesToKeep = new QHBoxLayout;
    seriesToKeep->setSpacing(4);
    seriesToKeep->addWidget(new QLabel(QStringLiteral("Series to keep")));
    seriesToKeep->addWidget(seriesEdit_, 1);
    otherGrid->addLayout(seriesToKeep, 1, kGridColumns, 1, 2 * kGridColumns - 1);
    otherGrid->setColumnStretch(kKeyedColumns * kGridColumns, 1);

    // Input File: Detail Settings
    auto* details = new QGroupBox(QStringLiteral("Input File: Detail Settings"));
    auto* detailRows = new QVBoxLayout(details);
    auto* detailLayout = new QHBoxLayout;
    detailRows->addLayout(detailLayout);
    detailRows->addLayout(otherGrid);
    auto* delimiterBox = new QVBoxLayout;
    delimiterBox->addWidget(new QLabel(QStringLiteral("Which Column Delimiter Character?")));
    commaRadio_ = new QRadioButton(QStringLiteral("&Comma"));
    tabRadio_ = new QRadioButton(QStringLiteral("&Tab"));
    spaceRadio_ = new QRadioButton(QStringLiteral("&Space"));
    commaRadio_->setObjectName(QStringLiteral("commaRadio"));
    tabRadio_->setObjectName(QStringLiteral("tabRadio"));
    spaceRadio_->setObjectName(QStringLiteral("spaceRadio"));
    semicolonRadio_ = new QRadioButton(QStringLiteral("Se&micolon"));
    semicolonRadio_->setObjectName(QStringLiteral("semicolonRadio"));
    delimiterGroup_ = new QButtonGroup(this);
    auto* radios = new QHBoxLayout;
    int id = 0;
    for (QRadioButton* radio : {commaRadio_, tabRadio_, spaceRadio_, semicolonRadio_}) {
        delimiterGroup_->addButton(radio, id++);
        radios->addWidget(radio);
    }
    radios->addStretch();
    delimiterBox->addLayout(radios);
    decimalCommaCheck_ = new QCheckBox(QStringLiteral("N&umbers with a decimal comma (10,5)"));
    decimalCommaCheck_->setObjectName(QStringLiteral("decimalCommaCheck"));
    decimalCommaCheck_->setWhatsThis(QStringLiteral(
        "The numbers of the file are written with a decimal comma, as European sources write "
        "them: 10,5 is read as 10.5. Only with a delimiter other than comma; a point then "
        "separates groups of three digits (1.234,5)."));
    delimiterBox->addWidget(decimalCommaCheck_);
    detailLayout->addLayout(delimiterBox, 3);

    auto* formatBox = new QVBoxLayout;
    auto* formatLabel = new QLabel(QStringLiteral("Date &Format"));
    dateFormatCombo_ = new DateFormatComboBox;
    dateFormatCombo_->setObjectName(QStringLiteral("dateFormatCombo"));
    dateFormatCombo_->setMaxVisibleItems(static_cast<int>(msdb::kDateFormatCount));
    dateFormatCombo_->setItemDelegate(new DateFormatDelegate(dateFormatCombo_));
    for (std::string_view name : msdb::kDateFormatNames) {
        dateFormatCombo_->addItem(QString::fromLatin1(name.data(), static_cast<int>(name.size())));
    }
    formatLabel->setBuddy(dateFormatCombo_);
    formatBox->addWidget(formatLabel);
    formatBox->addWidget(dateFormatCombo_);
    // Date format and skip rows side by side, the range of dates under them.
    auto* rightBox = new QVBoxLayout;
    auto* formatAndSkip = new QHBoxLayout;
    rightBox->addLayout(formatAndSkip);
    detailLayout->addLayout(rightBox, 3);
    formatAndSkip->addLayout(formatBox, 2);
    connect(dateFormatCombo_, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this](int index) { dateFormatSelection_ = index; });

    auto* skipBox = new QVBoxLayout;
    skipCheck_ = new QCheckBox(QStringLiteral("Sk&ip Rows"));
    skipCheck_->setObjectName(QStringLiteral("skipRowsCheck"));
    skipRows_ = makeSpin("skipRowsEdit", 0, 200, this);
    auto* skipLabel = new QLabel(QStringLiteral("&Lines"));
    skipLabel->setBuddy(skipRows_);
    auto* skipCount = new QHBoxLayout;
    skipCount->addWidget(skipLabel);
    skipCount->addWidget(skipRows_, 1);
    skipBox->addWidget(skipCheck_);
    skipBox->addLayout(skipCount);
    formatAndSkip->addLayout(skipBox, 1);

    // Only the lines dated in this range are converted: a file of more records than one security
    // holds goes in a range at a time.
    auto* rangeBox = new QHBoxLayout;
    fromEdit_ = new QLineEdit;
    toEdit_ = new QLineEdit;
    fromEdit_->setObjectName(QStringLiteral("fromEdit"));
    toEdit_->setObjectName(QStringLiteral("toEdit"));
    // Wide enough for a whole date, whatever the font.
    const int dateWidth = fromEdit_->fontMetrics().horizontalAdvance(QStringLiteral("YYYY-MM-DD0"));
    for (QLineEdit* edit : {fromEdit_, toEdit_}) {
        edit->setPlaceholderText(QStringLiteral("YYYY-MM-DD"));
        edit->setMinimumWidth(dateWidth +
                              2 * edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 8);
    }
    fromEdit_->setWhatsThis(QStringLiteral(
        "Convert only the lines dated on or after this day (YYYY-MM-DD); empty for all."));
    toEdit_->setWhatsThis(QStringLiteral(
        "Convert only the lines dated on or before this day (YYYY-MM-DD); empty for all."));
    rangeBox->addWidget(new QLabel(QStringLiteral("Dates from")));
    rangeBox->addWidget(fromEdit_, 1);
    rangeBox->addWidget(new QLabel(QStringLiteral("to")));
    rangeBox->addWidget(toEdit_, 1);
    rightBox->addLayout(rangeBox);

    // Output File: Path to Output Files
    auto* output = new QGroupBox(QStringLiteral("Output File: Path to Output Files"));
    auto* outputLayout = new QGridLayout(output);
    auto* pathLabel = new QLabel(QStringLiteral("Directory Pat&h"));
    pathEdit_ = new QLineEdit;
    pathEdit_->setObjectName(QStringLiteral("directoryEdit"));
    pathEdit_->setValidator(
        new MaxLengthValidator(static_cast<int>(limits::kMaxDirectoryLength), pathEdit_));
    pathEdit_->setMinimumWidth(240);
    pathLabel->setBuddy(pathEdit_);
    browseButton_ = new QPushButton(QStringLiteral("&Browse..."));
    browseButton_->setObjectName(QStringLiteral("browseButton"));
    browseButton_->setAutoDefault(false);
    createDirectoryButton_ = new QPushButton(QStringLiteral("C&reate Directory..."));
    createDirectoryButton_->setObjectName(QStringLiteral("createDirectoryButton"));
    createDirectoryButton_->setAutoDefault(false);
    createDirectoryButton_->setVisible(false);
    directoryStatusLabel_ = new QLabel;
    directoryStatusLabel_->setObjectName(QStringLiteral("directoryStatusLabel"));
    directoryStatusLabel_->setWordWrap(true);
    outputLayout->addWidget(pathLabel, 0, 0, 1, 2);
    outputLayout->addWidget(pathEdit_, 1, 0);
    outputLayout->addWidget(browseButton_, 1, 1);
    outputLayout->addWidget(directoryStatusLabel_, 2, 0);
    outputLayout->addWidget(createDirectoryButton_, 2, 1, Qt::AlignTop);

    // Output File: Detail Settings
    auto* security = new QGroupBox(QStringLiteral("Output File: Detail Settings"));
    auto* securityLayout = new QGridLayout(security);
    securityLayout->addWidget(
        new QLabel(QStringLiteral("How to use a Master File in this Directory?")), 0, 0, 1, 2);
    useExistingRadio_ = new QRadioButton(QStringLiteral("Use E&xisting Master"));
    makeNewRadio_ = new QRadioButton(QStringLiteral("Ma&ke New Master"));
    useExistingRadio_->setObjectName(QStringLiteral("useExistingMasterRadio"));
    makeNewRadio_->setObjectName(QStringLiteral("makeNewMasterRadio"));
    masterGroup_ = new QButtonGroup(this);
    masterGroup_->addButton(useExistingRadio_, 0);
    masterGroup_->addButton(makeNewRadio_, 1);
    securityLayout->addWidget(useExistingRadio_, 1, 0);
    securityLayout->addWidget(makeNewRadio_, 2, 0);
    emasterCheck_ = new QCheckBox(QStringLiteral("&Also make an EMASTER"));
    emasterCheck_->setObjectName(QStringLiteral("emasterCheck"));
    emasterCheck_->setWhatsThis(QStringLiteral(
        "With Make New Master, make an EMASTER beside the MASTER too, as many charting programs "
        "read one. An EMASTER that a directory already holds is always kept in step."));
    securityLayout->addWidget(emasterCheck_, 3, 0);
    auto* symbolLabel = new QLabel(QStringLiteral("S&ymbol"));
    auto* nameLabel = new QLabel(QStringLiteral("&Name"));
    symbolEdit_ = new QLineEdit;
    nameEdit_ = new QLineEdit;
    symbolEdit_->setObjectName(QStringLiteral("symbolEdit"));
    nameEdit_->setObjectName(QStringLiteral("nameEdit"));
    symbolEdit_->setValidator(
        new MaxLengthValidator(static_cast<int>(limits::kMaxSymbolLength), symbolEdit_, true));
    nameEdit_->setValidator(
        new MaxLengthValidator(static_cast<int>(limits::kMaxNameLength), nameEdit_, true));
    symbolLabel->setBuddy(symbolEdit_);
    nameLabel->setBuddy(nameEdit_);
    securityLayout->addWidget(symbolLabel, 0, 2);
    securityLayout->addWidget(symbolEdit_, 1, 2);
    securityLayout->addWidget(nameLabel, 0, 3);
    securityLayout->addWidget(nameEdit_, 1, 3);
    // The code page of the symbol and the name in MASTER, as Windows programs read them.
    codePageCombo_ = new QComboBox;
    codePageCombo_->setObjectName(QStringLiteral("codePageCombo"));
    for (int page = msdb::kFirstCodePage; page <= msdb::kLastCodePage; ++page) {
        const std::string_view name = msdb::CodePageName(page);
        codePageCombo_->addItem(
            QStringLiteral("Code page %1, %2")
                .arg(page)
                .arg(QString::fromLatin1(name.data(), static_cast<int>(name.size()))),
            page);
    }
    codePageCombo_->setWhatsThis(QStringLiteral(
        "The Windows code page in which MASTER holds the symbol and the name, as the programs "
        "that read the directory take them; Western European (1252) unless the names need "
        "another."));
    securityLayout->addWidget(codePageCombo_, 2, 2, 1, 2);
    updateCheck_ = new QCheckBox(QStringLiteral("Add n&ew days to securities already there"));
    updateCheck_->setObjectName(QStringLiteral("updateCheck"));
    updateCheck_->setWhatsThis(QStringLiteral(
        "A security the directory holds already gets the days after its last stored day "
        "appended; days it holds are passed over when they are the same, and are problems when "
        "they differ. Securities it does not hold are added."));
    xmasterCheck_ =
        new QCheckBox(QStringLiteral("List securities past MASTER's si&ze (255) in XMASTER"));
    xmasterCheck_->setObjectName(QStringLiteral("xmasterCheck"));
    xmasterCheck_->setWhatsThis(QStringLiteral(
        "MASTER lists 255 securities at most. Securities past them are listed in XMASTER, made "
        "when the directory has none, their prices in F256.MWD and on. Off, such a run is "
        "refused, unless the directory has an XMASTER already."));
    securityLayout->addWidget(updateCheck_, 3, 2, 1, 2);
    securityLayout->addWidget(xmasterCheck_, 4, 0, 1, 4);
    securityLayout->setColumnStretch(1, 1);

    auto* buttons = new QDialogButtonBox;
    okButton_ = buttons->addButton(QDialogButtonBox::Ok);
    cancelButton_ = buttons->addButton(QDialogButtonBox::Cancel);
    okButton_->setObjectName(QStringLiteral("okButton"));
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    okButton_->setDefault(true);

    // The files of the run: what each holds, its symbol and name edited in place.
    filesGroup_ =
        new QGroupBox(QStringLiteral("Input Files: a security each, or many with a symbol column"));
    filesGroup_->setObjectName(QStringLiteral("filesGroup"));
    auto* filesLayout = new QVBoxLayout(filesGroup_);
    filesModel_ = new FileTableModel(this);
    filesModel_->setRefusal(
        [this](const QString& message) { Prompter::instance().message(this, message); });
    filesTable_ = new QTableView;
    filesTable_->setObjectName(QStringLiteral("filesTable"));
    filesTable_->setModel(filesModel_);
    filesTable_->setSelectionBehavior(QAbstractItemView::SelectRows);
    filesTable_->setSelectionMode(QAbstractItemView::SingleSelection);
    filesTable_->setEditTriggers(QAbstractItemView::DoubleClicked |
                                 QAbstractItemView::EditKeyPressed |
                                 QAbstractItemView::AnyKeyPressed);
    filesTable_->setTabKeyNavigation(false);
    filesTable_->verticalHeader()->setVisible(false);
    filesTable_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    filesTable_->horizontalHeader()->setStretchLastSection(true);
    filesTable_->setWhatsThis(QStringLiteral(
        "The files of the run, each read whole with these settings: its records, first and last "
        "dates and problems. Each file is one security, named by the symbol and name typed here "
        "(F2 edits the current cell); with a symbol column a file holds as many securities as it "
        "has symbols. The preview shows the file selected."));
    filesLayout->addWidget(filesTable_);
    filesGroup_->setVisible(false);
    connect(filesTable_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) {
                    const QString path =
                        fromLocalPath(files().Path(static_cast<std::size_t>(current.row())));
                    if (path != inputPath_) {
                        inputPath_ = path;
                        showSelectedFile();
                    }
                }
            });

    // Preview: the file as these settings read it.
    auto* preview =
        new QGroupBox(QStringLiteral("Preview: the first records as they will be stored"));
    auto* previewLayout = new QVBoxLayout(preview);
    auto* detectRow = new QHBoxLayout;
    detectionLabel_ = new QLabel;
    detectionLabel_->setObjectName(QStringLiteral("detectionLabel"));
    detectionLabel_->setWordWrap(true);
    detectButton_ = new QPushButton(QStringLiteral("&Detect"));
    detectButton_->setObjectName(QStringLiteral("detectButton"));
    detectButton_->setAutoDefault(false);
    detectButton_->setWhatsThis(QStringLiteral(
        "Read the first lines of the file again and propose the delimiter, the heading lines to "
        "skip, the columns and the date format."));
    detectRow->addWidget(detectionLabel_, 1);
    detectRow->addWidget(detectButton_, 0, Qt::AlignTop);
    previewLayout->addLayout(detectRow);
    refusalLabel_ = new QLabel;
    refusalLabel_->setObjectName(QStringLiteral("refusalLabel"));
    refusalLabel_->setWordWrap(true);
    refusalLabel_->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
    refusalLabel_->setVisible(false);
    previewLayout->addWidget(refusalLabel_);
    previewPane_ = new PreviewPane;
    previewLayout->addWidget(previewPane_, 1);

    // The input settings, the output settings side by side, and the preview below them, narrow
    // enough for a small screen. What a screen cannot show at once scrolls; OK and Cancel stay in
    // sight under it.
    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("settingsContent"));
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->addWidget(fields);
    contentLayout->addWidget(details);
    auto* outputRow = new QHBoxLayout;
    outputRow->addWidget(output, 1);
    outputRow->addWidget(security, 1);
    contentLayout->addLayout(outputRow);
    contentLayout->addWidget(filesGroup_);
    contentLayout->addWidget(preview, 1);
    auto* scroll = new FittingScrollArea;
    scroll->setObjectName(QStringLiteral("settingsScrollArea"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(content);
    // A control reached by Tab or by its Alt key is scrolled into sight.
    connect(qApp, &QApplication::focusChanged, scroll, [scroll](QWidget*, QWidget* now) {
        if (now != nullptr && scroll->widget()->isAncestorOf(now)) {
            scroll->ensureWidgetVisible(now);
        }
    });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll, 1);
    layout->addWidget(buttons);

    previewTimer_ = new QTimer(this);
    previewTimer_->setSingleShot(true);
    previewTimer_->setInterval(150);
    connect(previewTimer_, &QTimer::timeout, this, &SettingsDialog::refreshPreview);

    dateColumn_->setWhatsThis(QStringLiteral("The column of the date, counted from 1 (1 to 20)."));
    dateFormatCombo_->setWhatsThis(QStringLiteral(
        "How the dates are written, each with 31 December 2024 written that way. An underscore "
        "stands for any one separator character; every part is two digits wide."));
    skipCheck_->setWhatsThis(
        QStringLiteral("Skip the first lines of the file, such as headings (0 to 200 lines)."));
    pathEdit_->setWhatsThis(QStringLiteral("The directory that receives the converted data."));
    useExistingRadio_->setWhatsThis(
        QStringLiteral("Add the security to the MASTER file that the directory already holds."));
    makeNewRadio_->setWhatsThis(
        QStringLiteral("Make a new MASTER file in a directory that does not hold one yet."));
    symbolEdit_->setWhatsThis(QStringLiteral(
        "The ticker symbol, at most 16 bytes. When the directory holds it already, you are asked "
        "whether to replace that security."));
    nameEdit_->setWhatsThis(QStringLiteral("The security's name, at most 16 bytes."));

    QWidget* order[] = {dateColumn_,        openCheck_,
                        openColumn_,        highCheck_,
                        highColumn_,        lowCheck_,
                        lowColumn_,         closeColumn_,
                        volumeCheck_,       volumeColumn_,
                        openIntCheck_,      openIntColumn_,
                        commaRadio_,        tabRadio_,
                        spaceRadio_,        semicolonRadio_,
                        decimalCommaCheck_, dateFormatCombo_,
                        skipCheck_,         skipRows_,
                        fromEdit_,          toEdit_,
                        symbolColumnCheck_, symbolColumn_,
                        nameColumnCheck_,   nameColumn_,
                        periodColumnCheck_, periodColumn_,
                        seriesColumnCheck_, seriesColumn_,
                        seriesEdit_,        pathEdit_,
                        browseButton_,      createDirectoryButton_,
                        useExistingRadio_,  makeNewRadio_,
                        emasterCheck_,      symbolEdit_,
                        nameEdit_,          codePageCombo_,
                        updateCheck_,       xmasterCheck_,
                        filesTable_,        detectButton_,
                        previewPane_,       okButton_,
                        cancelButton_};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        setTabOrder(order[i], order[i + 1]);
    }

    // Switching a field off greys out its column and sets it back to 1, the rows to skip to 0.
    using engine::PriceField;
    const std::tuple<QCheckBox*, PriceField, SpinEdit*> switchable[] = {
        {openCheck_, PriceField::kOpen, openColumn_},
        {highCheck_, PriceField::kHigh, highColumn_},
        {lowCheck_, PriceField::kLow, lowColumn_},
        {volumeCheck_, PriceField::kVolume, volumeColumn_},
        {openIntCheck_, PriceField::kOpenInterest, openIntColumn_}};
    for (const auto& [box, field, column] : switchable) {
        connect(box, &QCheckBox::clicked, this, [this, field = field, column = column] {
            onCheckClicked(&form_.fields[field].on, column);
        });
    }
    connect(skipCheck_, &QCheckBox::clicked, this,
            [this] { onCheckClicked(&form_.skipOn, skipRows_); });
    for (const auto& [box, column] : others) {
        connect(box, &QCheckBox::toggled, column, &QWidget::setEnabled);
        connect(box, &QCheckBox::toggled, this, &SettingsDialog::schedulePreview);
    }
    connect(seriesColumnCheck_, &QCheckBox::toggled, seriesEdit_, &QWidget::setEnabled);
    connect(symbolColumnCheck_, &QCheckBox::toggled, this, &SettingsDialog::enableSecurityFields);
    connect(codePageCombo_, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this] { filesModel_->setCodePage(codePageCombo_->currentData().toInt()); });
    connect(browseButton_, &QPushButton::clicked, this, &SettingsDialog::onBrowse);
    connect(okButton_, &QPushButton::clicked, this, &SettingsDialog::onOk);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
    connect(detectButton_, &QPushButton::clicked, this, &SettingsDialog::onDetect);
    connect(createDirectoryButton_, &QPushButton::clicked, this,
            &SettingsDialog::onCreateDirectory);

    // Every change of a reading setting is shown in the preview a moment later.
    for (SpinEdit* spin :
         {dateColumn_, openColumn_, highColumn_, lowColumn_, closeColumn_, volumeColumn_,
          openIntColumn_, skipRows_, symbolColumn_, nameColumn_, periodColumn_, seriesColumn_}) {
        connect(spin->findChild<QLineEdit*>(), &QLineEdit::textChanged, this,
                &SettingsDialog::schedulePreview);
    }
    for (QCheckBox* box : {openCheck_, highCheck_, lowCheck_, volumeCheck_, openIntCheck_,
                           skipCheck_, decimalCommaCheck_}) {
        connect(box, &QCheckBox::toggled, this, &SettingsDialog::schedulePreview);
    }
    connect(delimiterGroup_, &QButtonGroup::idToggled, this, &SettingsDialog::schedulePreview);
    connect(dateFormatCombo_, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &SettingsDialog::schedulePreview);
    for (QLineEdit* edit : {fromEdit_, toEdit_, seriesEdit_}) {
        connect(edit, &QLineEdit::textChanged, this, &SettingsDialog::schedulePreview);
    }
    connect(pathEdit_, &QLineEdit::textChanged, this, &SettingsDialog::updateDirectoryStatus);
    connect(masterGroup_, &QButtonGroup::idToggled, this, &SettingsDialog::updateDirectoryStatus);

    // A radio group is entered by Tab at its checked button; the arrows move within it.
    for (QButtonGroup* group : {delimiterGroup_, masterGroup_}) {
        connect(group, &QButtonGroup::idToggled, this, [group] {
            const bool anyChecked = group->checkedButton() != nullptr;
            for (QAbstractButton* button : group->buttons()) {
                button->setFocusPolicy(!anyChecked || button->isChecked() ? Qt::StrongFocus
                                                                          : Qt::ClickFocus);
            }
        });
    }

    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [this] {
        auto* window = findChild<HelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
        if (window == nullptr) {
            window = new HelpWindow(this);
            window->setObjectName(QStringLiteral("dialogHelpWindow"));
        }
        window->showPage(QStringLiteral("settings.html"));
    });
}
