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
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <optional>

#include "app/HelpWindow.h"
#include "app/PreviewPane.h"
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
QString WithExample(const QString& code) {
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
        return WithExample(value.toString());
    }
};

// The closed box shows the chosen code with its example too, and is wide enough for the longest.
class DateFormatComboBox final : public QComboBox {
public:
    QSize sizeHint() const override { return Widened(QComboBox::sizeHint()); }
    QSize minimumSizeHint() const override { return Widened(QComboBox::minimumSizeHint()); }

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionComboBox option;
        initStyleOption(&option);
        option.currentText = WithExample(currentText());
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    }

private:
    // `size` made as much wider as the longest code's example adds to it.
    QSize Widened(QSize size) const {
        int codes = 0;
        int shown = 0;
        for (int i = 0; i < count(); ++i) {
            codes = std::max(codes, fontMetrics().horizontalAdvance(itemText(i)));
            shown = std::max(shown, fontMetrics().horizontalAdvance(WithExample(itemText(i))));
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

SpinEdit* MakeSpin(const char* name, int minimum, int maximum, QWidget* parent) {
    auto* spin = new SpinEdit(parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->SetRange(minimum, maximum);
    spin->setMinimumWidth(56);
    return spin;
}

}  // namespace

void SettingsDialog::BuildControls() {
    // Input File: Supported Fields and Column Assignments
    auto* fields =
        new QGroupBox(QStringLiteral("Input File: Supported Fields and Column Assignments"));
    auto* fieldGrid = new QGridLayout(fields);
    m_dateCol = MakeSpin("dateColumnEdit", 1, 20, this);
    m_openCheck = new QCheckBox(QStringLiteral("&Open"));
    m_openCol = MakeSpin("openColumnEdit", 1, 20, this);
    m_hiCheck = new QCheckBox(QStringLiteral("Hi&gh"));
    m_hiCol = MakeSpin("highColumnEdit", 1, 20, this);
    m_loCheck = new QCheckBox(QStringLiteral("Lo&w"));
    m_loCol = MakeSpin("lowColumnEdit", 1, 20, this);
    m_cloCol = MakeSpin("closeColumnEdit", 1, 20, this);
    m_volCheck = new QCheckBox(QStringLiteral("&Volume"));
    m_volCol = MakeSpin("volumeColumnEdit", 1, 20, this);
    m_oiCheck = new QCheckBox(QStringLiteral("O&pen Int"));
    m_oiCol = MakeSpin("openIntColumnEdit", 1, 20, this);
    m_openCheck->setObjectName(QStringLiteral("openCheck"));
    m_hiCheck->setObjectName(QStringLiteral("highCheck"));
    m_loCheck->setObjectName(QStringLiteral("lowCheck"));
    m_volCheck->setObjectName(QStringLiteral("volumeCheck"));
    m_oiCheck->setObjectName(QStringLiteral("openIntCheck"));
    // Date and Close are always read, so their headings are plain labels. Each column box has its
    // own Alt key, the digit of its place from Date to Open Int, on a small label beside it: the
    // field's letter stays with its check box, which it toggles.
    const std::array<std::pair<QWidget*, SpinEdit*>, 7> columns = {
        {{new QLabel(QStringLiteral("Date")), m_dateCol},
         {m_openCheck, m_openCol},
         {m_hiCheck, m_hiCol},
         {m_loCheck, m_loCol},
         {new QLabel(QStringLiteral("Close")), m_cloCol},
         {m_volCheck, m_volCol},
         {m_oiCheck, m_oiCol}}};
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

    // Input File: Detail Settings
    auto* details = new QGroupBox(QStringLiteral("Input File: Detail Settings"));
    auto* detailLayout = new QHBoxLayout(details);
    auto* delimiterBox = new QVBoxLayout;
    delimiterBox->addWidget(new QLabel(QStringLiteral("Which Column Delimiter Character?")));
    m_comma = new QRadioButton(QStringLiteral("&Comma"));
    m_tab = new QRadioButton(QStringLiteral("&Tab"));
    m_space = new QRadioButton(QStringLiteral("&Space"));
    m_comma->setObjectName(QStringLiteral("commaRadio"));
    m_tab->setObjectName(QStringLiteral("tabRadio"));
    m_space->setObjectName(QStringLiteral("spaceRadio"));
    m_semicolon = new QRadioButton(QStringLiteral("Se&micolon"));
    m_semicolon->setObjectName(QStringLiteral("semicolonRadio"));
    m_delimiterGroup = new QButtonGroup(this);
    auto* radios = new QHBoxLayout;
    int id = 0;
    for (QRadioButton* radio : {m_comma, m_tab, m_space, m_semicolon}) {
        m_delimiterGroup->addButton(radio, id++);
        radios->addWidget(radio);
    }
    radios->addStretch();
    delimiterBox->addLayout(radios);
    m_decimalCommaCheck = new QCheckBox(QStringLiteral("N&umbers with a decimal comma (10,5)"));
    m_decimalCommaCheck->setObjectName(QStringLiteral("decimalCommaCheck"));
    m_decimalCommaCheck->setWhatsThis(QStringLiteral(
        "The numbers of the file are written with a decimal comma, as European sources write "
        "them: 10,5 is read as 10.5. Only with a delimiter other than comma; a point then "
        "separates groups of three digits (1.234,5)."));
    delimiterBox->addWidget(m_decimalCommaCheck);
    detailLayout->addLayout(delimiterBox, 3);

    auto* formatBox = new QVBoxLayout;
    auto* formatLabel = new QLabel(QStringLiteral("Date &Format"));
    m_cbDateFormat = new DateFormatComboBox;
    m_cbDateFormat->setObjectName(QStringLiteral("dateFormatCombo"));
    m_cbDateFormat->setMaxVisibleItems(static_cast<int>(msdb::kDateFormatCount));
    m_cbDateFormat->setItemDelegate(new DateFormatDelegate(m_cbDateFormat));
    for (std::string_view name : msdb::kDateFormatNames) {
        m_cbDateFormat->addItem(QString::fromLatin1(name.data(), static_cast<int>(name.size())));
    }
    formatLabel->setBuddy(m_cbDateFormat);
    formatBox->addWidget(formatLabel);
    formatBox->addWidget(m_cbDateFormat);
    // Date format and skip rows side by side, the range of dates under them.
    auto* rightBox = new QVBoxLayout;
    auto* formatAndSkip = new QHBoxLayout;
    rightBox->addLayout(formatAndSkip);
    detailLayout->addLayout(rightBox, 3);
    formatAndSkip->addLayout(formatBox, 2);
    connect(m_cbDateFormat, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this](int index) { m_nDateFormatSelection = index; });

    auto* skipBox = new QVBoxLayout;
    m_skipCheck = new QCheckBox(QStringLiteral("Sk&ip Rows"));
    m_skipCheck->setObjectName(QStringLiteral("skipRowsCheck"));
    m_skipRows = MakeSpin("skipRowsEdit", 0, 200, this);
    auto* skipLabel = new QLabel(QStringLiteral("&Lines"));
    skipLabel->setBuddy(m_skipRows);
    auto* skipCount = new QHBoxLayout;
    skipCount->addWidget(skipLabel);
    skipCount->addWidget(m_skipRows, 1);
    skipBox->addWidget(m_skipCheck);
    skipBox->addLayout(skipCount);
    formatAndSkip->addLayout(skipBox, 1);

    // Only the lines dated in this range are converted: a file of more records than one security
    // holds goes in a range at a time.
    auto* rangeBox = new QHBoxLayout;
    m_fromEdit = new QLineEdit;
    m_toEdit = new QLineEdit;
    m_fromEdit->setObjectName(QStringLiteral("fromEdit"));
    m_toEdit->setObjectName(QStringLiteral("toEdit"));
    // Wide enough for a whole date, whatever the font.
    const int dateWidth =
        m_fromEdit->fontMetrics().horizontalAdvance(QStringLiteral("YYYY-MM-DD0"));
    for (QLineEdit* edit : {m_fromEdit, m_toEdit}) {
        edit->setPlaceholderText(QStringLiteral("YYYY-MM-DD"));
        edit->setMinimumWidth(dateWidth +
                              2 * edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 8);
    }
    m_fromEdit->setWhatsThis(QStringLiteral(
        "Convert only the lines dated on or after this day (YYYY-MM-DD); empty for all."));
    m_toEdit->setWhatsThis(QStringLiteral(
        "Convert only the lines dated on or before this day (YYYY-MM-DD); empty for all."));
    rangeBox->addWidget(new QLabel(QStringLiteral("Dates from")));
    rangeBox->addWidget(m_fromEdit, 1);
    rangeBox->addWidget(new QLabel(QStringLiteral("to")));
    rangeBox->addWidget(m_toEdit, 1);
    rightBox->addLayout(rangeBox);

    // Output File: Path to Output Files
    auto* output = new QGroupBox(QStringLiteral("Output File: Path to Output Files"));
    auto* outputLayout = new QGridLayout(output);
    auto* pathLabel = new QLabel(QStringLiteral("Directory Pat&h"));
    m_pathEdit = new QLineEdit;
    m_pathEdit->setObjectName(QStringLiteral("directoryEdit"));
    m_pathEdit->setValidator(
        new MaxLengthValidator(static_cast<int>(limits::kMaxDirectoryLength), m_pathEdit));
    m_pathEdit->setMinimumWidth(240);
    pathLabel->setBuddy(m_pathEdit);
    m_browse = new QPushButton(QStringLiteral("&Browse..."));
    m_browse->setObjectName(QStringLiteral("browseButton"));
    m_browse->setAutoDefault(false);
    m_createDirectory = new QPushButton(QStringLiteral("C&reate Directory..."));
    m_createDirectory->setObjectName(QStringLiteral("createDirectoryButton"));
    m_createDirectory->setAutoDefault(false);
    m_createDirectory->setVisible(false);
    m_directoryStatus = new QLabel;
    m_directoryStatus->setObjectName(QStringLiteral("directoryStatusLabel"));
    m_directoryStatus->setWordWrap(true);
    outputLayout->addWidget(pathLabel, 0, 0, 1, 2);
    outputLayout->addWidget(m_pathEdit, 1, 0);
    outputLayout->addWidget(m_browse, 1, 1);
    outputLayout->addWidget(m_directoryStatus, 2, 0);
    outputLayout->addWidget(m_createDirectory, 2, 1, Qt::AlignTop);

    // Output File: Detail Settings
    auto* security = new QGroupBox(QStringLiteral("Output File: Detail Settings"));
    auto* securityLayout = new QGridLayout(security);
    securityLayout->addWidget(
        new QLabel(QStringLiteral("How to use a Master File in this Directory?")), 0, 0, 1, 2);
    m_useExisting = new QRadioButton(QStringLiteral("Use E&xisting Master"));
    m_makeNew = new QRadioButton(QStringLiteral("Ma&ke New Master"));
    m_useExisting->setObjectName(QStringLiteral("useExistingMasterRadio"));
    m_makeNew->setObjectName(QStringLiteral("makeNewMasterRadio"));
    m_masterGroup = new QButtonGroup(this);
    m_masterGroup->addButton(m_useExisting, 0);
    m_masterGroup->addButton(m_makeNew, 1);
    securityLayout->addWidget(m_useExisting, 1, 0);
    securityLayout->addWidget(m_makeNew, 2, 0);
    m_emasterCheck = new QCheckBox(QStringLiteral("&Also make an EMASTER"));
    m_emasterCheck->setObjectName(QStringLiteral("emasterCheck"));
    m_emasterCheck->setWhatsThis(QStringLiteral(
        "With Make New Master, make an EMASTER beside the MASTER too, as many charting programs "
        "read one. An EMASTER that a directory already holds is always kept in step."));
    securityLayout->addWidget(m_emasterCheck, 3, 0);
    auto* symbolLabel = new QLabel(QStringLiteral("S&ymbol"));
    auto* nameLabel = new QLabel(QStringLiteral("&Name"));
    m_symbolEdit = new QLineEdit;
    m_nameEdit = new QLineEdit;
    m_symbolEdit->setObjectName(QStringLiteral("symbolEdit"));
    m_nameEdit->setObjectName(QStringLiteral("nameEdit"));
    m_symbolEdit->setValidator(
        new MaxLengthValidator(static_cast<int>(limits::kMaxSymbolLength), m_symbolEdit, true));
    m_nameEdit->setValidator(
        new MaxLengthValidator(static_cast<int>(limits::kMaxNameLength), m_nameEdit, true));
    symbolLabel->setBuddy(m_symbolEdit);
    nameLabel->setBuddy(m_nameEdit);
    securityLayout->addWidget(symbolLabel, 0, 2);
    securityLayout->addWidget(m_symbolEdit, 1, 2);
    securityLayout->addWidget(nameLabel, 0, 3);
    securityLayout->addWidget(m_nameEdit, 1, 3);
    // The code page of the symbol and the name in MASTER, as Windows programs read them.
    m_codePageCombo = new QComboBox;
    m_codePageCombo->setObjectName(QStringLiteral("codePageCombo"));
    for (int page = msdb::kFirstCodePage; page <= msdb::kLastCodePage; ++page) {
        const std::string_view name = msdb::CodePageName(page);
        m_codePageCombo->addItem(
            QStringLiteral("Code page %1, %2")
                .arg(page)
                .arg(QString::fromLatin1(name.data(), static_cast<int>(name.size()))),
            page);
    }
    m_codePageCombo->setWhatsThis(QStringLiteral(
        "The Windows code page in which MASTER holds the symbol and the name, as the programs "
        "that read the directory take them; Western European (1252) unless the names need "
        "another."));
    securityLayout->addWidget(m_codePageCombo, 2, 2, 1, 2);
    securityLayout->setColumnStretch(1, 1);

    auto* buttons = new QDialogButtonBox;
    m_ok = buttons->addButton(QDialogButtonBox::Ok);
    m_cancel = buttons->addButton(QDialogButtonBox::Cancel);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_ok->setDefault(true);

    // Preview: the file as these settings read it.
    auto* preview =
        new QGroupBox(QStringLiteral("Preview: the first records as they will be stored"));
    auto* previewLayout = new QVBoxLayout(preview);
    auto* detectRow = new QHBoxLayout;
    m_detectionLabel = new QLabel;
    m_detectionLabel->setObjectName(QStringLiteral("detectionLabel"));
    m_detectionLabel->setWordWrap(true);
    m_detect = new QPushButton(QStringLiteral("&Detect"));
    m_detect->setObjectName(QStringLiteral("detectButton"));
    m_detect->setAutoDefault(false);
    m_detect->setWhatsThis(QStringLiteral(
        "Read the first lines of the file again and propose the delimiter, the heading lines to "
        "skip, the columns and the date format."));
    detectRow->addWidget(m_detectionLabel, 1);
    detectRow->addWidget(m_detect, 0, Qt::AlignTop);
    previewLayout->addLayout(detectRow);
    m_refusalLabel = new QLabel;
    m_refusalLabel->setObjectName(QStringLiteral("refusalLabel"));
    m_refusalLabel->setWordWrap(true);
    m_refusalLabel->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
    m_refusalLabel->setVisible(false);
    previewLayout->addWidget(m_refusalLabel);
    m_previewPane = new PreviewPane;
    previewLayout->addWidget(m_previewPane, 1);

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

    m_previewTimer = new QTimer(this);
    m_previewTimer->setSingleShot(true);
    m_previewTimer->setInterval(150);
    connect(m_previewTimer, &QTimer::timeout, this, &SettingsDialog::RefreshPreview);

    m_dateCol->setWhatsThis(QStringLiteral("The column of the date, counted from 1 (1 to 20)."));
    m_cbDateFormat->setWhatsThis(QStringLiteral(
        "How the dates are written, each with 31 December 2024 written that way. An underscore "
        "stands for any one separator character; every part is two digits wide."));
    m_skipCheck->setWhatsThis(
        QStringLiteral("Skip the first lines of the file, such as headings (0 to 200 lines)."));
    m_pathEdit->setWhatsThis(QStringLiteral("The directory that receives the converted data."));
    m_useExisting->setWhatsThis(
        QStringLiteral("Add the security to the MASTER file that the directory already holds."));
    m_makeNew->setWhatsThis(
        QStringLiteral("Make a new MASTER file in a directory that does not hold one yet."));
    m_symbolEdit->setWhatsThis(QStringLiteral(
        "The ticker symbol, at most 16 bytes. When the directory holds it already, you are asked "
        "whether to replace that security."));
    m_nameEdit->setWhatsThis(QStringLiteral("The security's name, at most 16 bytes."));

    QWidget* order[] = {m_dateCol,
                        m_openCheck,
                        m_openCol,
                        m_hiCheck,
                        m_hiCol,
                        m_loCheck,
                        m_loCol,
                        m_cloCol,
                        m_volCheck,
                        m_volCol,
                        m_oiCheck,
                        m_oiCol,
                        m_comma,
                        m_tab,
                        m_space,
                        m_semicolon,
                        m_decimalCommaCheck,
                        m_cbDateFormat,
                        m_skipCheck,
                        m_skipRows,
                        m_fromEdit,
                        m_toEdit,
                        m_pathEdit,
                        m_browse,
                        m_createDirectory,
                        m_useExisting,
                        m_makeNew,
                        m_emasterCheck,
                        m_symbolEdit,
                        m_nameEdit,
                        m_codePageCombo,
                        m_detect,
                        m_previewPane,
                        m_ok,
                        m_cancel};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        setTabOrder(order[i], order[i + 1]);
    }

    connect(m_openCheck, &QCheckBox::clicked, this, &SettingsDialog::OnCheckOpen);
    connect(m_hiCheck, &QCheckBox::clicked, this, &SettingsDialog::OnCheckHigh);
    connect(m_loCheck, &QCheckBox::clicked, this, &SettingsDialog::OnCheckLow);
    connect(m_volCheck, &QCheckBox::clicked, this, &SettingsDialog::OnCheckVolume);
    connect(m_oiCheck, &QCheckBox::clicked, this, &SettingsDialog::OnCheckOpenInt);
    connect(m_skipCheck, &QCheckBox::clicked, this, &SettingsDialog::OnCheckSkipRows);
    connect(m_browse, &QPushButton::clicked, this, &SettingsDialog::OnBrowse);
    connect(m_ok, &QPushButton::clicked, this, &SettingsDialog::OnOK);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_detect, &QPushButton::clicked, this, &SettingsDialog::OnDetect);
    connect(m_createDirectory, &QPushButton::clicked, this, &SettingsDialog::OnCreateDirectory);

    // Every change of a reading setting is shown in the preview a moment later.
    for (SpinEdit* spin :
         {m_dateCol, m_openCol, m_hiCol, m_loCol, m_cloCol, m_volCol, m_oiCol, m_skipRows}) {
        connect(spin->findChild<QLineEdit*>(), &QLineEdit::textChanged, this,
                &SettingsDialog::SchedulePreview);
    }
    for (QCheckBox* box : {m_openCheck, m_hiCheck, m_loCheck, m_volCheck, m_oiCheck, m_skipCheck,
                           m_decimalCommaCheck}) {
        connect(box, &QCheckBox::toggled, this, &SettingsDialog::SchedulePreview);
    }
    connect(m_delimiterGroup, &QButtonGroup::idToggled, this, &SettingsDialog::SchedulePreview);
    connect(m_cbDateFormat, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &SettingsDialog::SchedulePreview);
    for (QLineEdit* edit : {m_fromEdit, m_toEdit}) {
        connect(edit, &QLineEdit::textChanged, this, &SettingsDialog::SchedulePreview);
    }
    connect(m_pathEdit, &QLineEdit::textChanged, this, &SettingsDialog::UpdateDirectoryStatus);
    connect(m_masterGroup, &QButtonGroup::idToggled, this, &SettingsDialog::UpdateDirectoryStatus);

    // A radio group is entered by Tab at its checked button; the arrows move within it.
    for (QButtonGroup* group : {m_delimiterGroup, m_masterGroup}) {
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
        window->ShowPage(QStringLiteral("settings.html"));
    });
}
