#include "app/ConversionSettingsDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <array>
#include <limits>
#include <tuple>

#include "app/ChooseDir.h"
#include "app/HelpWindow.h"
#include "app/KorvexView.h"
#include "app/Prompter.h"
#include "app/SpinEdit.h"
#include "engine/Detect.h"
#include "engine/InputScan.h"
#include "msdb/Encoding.h"
#include "msdb/Master.h"
#include "msdb/Reader.h"

namespace {

namespace limits = engine::limits;

SpinEdit* MakeSpin(const char* name, int minimum, int maximum, QWidget* parent) {
    auto* spin = new SpinEdit(parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->SetRange(minimum, maximum);
    spin->setMinimumWidth(56);
    return spin;
}

std::string Local(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.c_str());
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

CConversionSettingsDlg::~CConversionSettingsDlg() {
    StopSummary();
}

void CConversionSettingsDlg::BuildControls() {
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
    auto* dateLabel = new QLabel(QStringLiteral("D&ate"));
    auto* closeLabel = new QLabel(QStringLiteral("Clos&e"));
    const std::array<std::pair<QWidget*, SpinEdit*>, 7> columns = {{{dateLabel, m_dateCol},
                                                                    {m_openCheck, m_openCol},
                                                                    {m_hiCheck, m_hiCol},
                                                                    {m_loCheck, m_loCol},
                                                                    {closeLabel, m_cloCol},
                                                                    {m_volCheck, m_volCol},
                                                                    {m_oiCheck, m_oiCol}}};
    for (int i = 0; i < 7; ++i) {
        fieldGrid->addWidget(columns[i].first, 0, i);
        fieldGrid->addWidget(columns[i].second, 1, i);
    }
    dateLabel->setBuddy(m_dateCol);
    closeLabel->setBuddy(m_cloCol);

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
        "them: 10,5 is read as 10.5. Only with a delimiter other than comma; a number that "
        "holds a point (1.234,5) is then a problem."));
    delimiterBox->addWidget(m_decimalCommaCheck);
    detailLayout->addLayout(delimiterBox, 3);

    auto* formatBox = new QVBoxLayout;
    auto* formatLabel = new QLabel(QStringLiteral("Date &Format"));
    m_cbDateFormat = new QComboBox;
    m_cbDateFormat->setObjectName(QStringLiteral("dateFormatCombo"));
    m_cbDateFormat->setMaxVisibleItems(static_cast<int>(msdb::kDateFormatCount));
    for (std::string_view name : msdb::kDateFormatNames) {
        m_cbDateFormat->addItem(QString::fromLatin1(name.data(), static_cast<int>(name.size())));
    }
    formatLabel->setBuddy(m_cbDateFormat);
    formatBox->addWidget(formatLabel);
    formatBox->addWidget(m_cbDateFormat);
    detailLayout->addLayout(formatBox, 2);
    connect(m_cbDateFormat, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this](int index) { m_nDateFormatSelection = index; });

    auto* skipBox = new QVBoxLayout;
    m_skipCheck = new QCheckBox(QStringLiteral("Sk&ip Rows"));
    m_skipCheck->setObjectName(QStringLiteral("skipRowsCheck"));
    m_skipRows = MakeSpin("skipRowsEdit", 0, 200, this);
    skipBox->addWidget(m_skipCheck);
    skipBox->addWidget(m_skipRows);
    detailLayout->addLayout(skipBox, 1);

    // Output File: Path to Output Files
    auto* output = new QGroupBox(QStringLiteral("Output File: Path to Output Files"));
    auto* outputLayout = new QGridLayout(output);
    auto* pathLabel = new QLabel(QStringLiteral("Directory Pat&h"));
    m_pathEdit = new QLineEdit;
    m_pathEdit->setObjectName(QStringLiteral("directoryEdit"));
    m_pathEdit->setValidator(
        new MaxLengthValidator(static_cast<int>(limits::kMaxDirectoryLength), m_pathEdit));
    m_pathEdit->setMinimumWidth(320);
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
    m_emasterCheck = new QCheckBox(QStringLiteral("A&lso make an EMASTER"));
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
        new MaxLengthValidator(static_cast<int>(limits::kMaxSymbolLength), m_symbolEdit));
    m_nameEdit->setValidator(
        new MaxLengthValidator(static_cast<int>(limits::kMaxNameLength), m_nameEdit));
    symbolLabel->setBuddy(m_symbolEdit);
    nameLabel->setBuddy(m_nameEdit);
    securityLayout->addWidget(symbolLabel, 0, 2);
    securityLayout->addWidget(m_symbolEdit, 1, 2);
    securityLayout->addWidget(nameLabel, 0, 3);
    securityLayout->addWidget(m_nameEdit, 1, 3);
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
    m_preview = new QTableWidget;
    m_preview->setObjectName(QStringLiteral("previewTable"));
    m_preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_preview->setSelectionMode(QAbstractItemView::NoSelection);
    m_preview->setMinimumSize(520, 300);
    m_preview->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_preview->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_preview->setWhatsThis(QStringLiteral(
        "The first records of the file as the settings read them: the dates as they will be "
        "stored (year-month-day) and the numbers as they will be stored. A marked cell cannot be "
        "read as the settings say; its tooltip tells why."));
    previewLayout->addWidget(m_preview, 1);
    m_summary = new QLabel;
    m_summary->setObjectName(QStringLiteral("summaryLabel"));
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    previewLayout->addWidget(m_summary);
    m_progress = new QProgressBar;
    m_progress->setObjectName(QStringLiteral("summaryProgress"));
    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(false);
    m_progress->setVisible(false);
    previewLayout->addWidget(m_progress);

    auto* settingsColumn = new QVBoxLayout;
    settingsColumn->addWidget(fields);
    settingsColumn->addWidget(details);
    settingsColumn->addWidget(output);
    settingsColumn->addWidget(security);
    settingsColumn->addStretch();
    auto* sides = new QHBoxLayout;
    sides->addLayout(settingsColumn);
    sides->addWidget(preview, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(sides, 1);
    layout->addWidget(buttons);

    m_previewTimer = new QTimer(this);
    m_previewTimer->setSingleShot(true);
    m_previewTimer->setInterval(150);
    connect(m_previewTimer, &QTimer::timeout, this, &CConversionSettingsDlg::RefreshPreview);

    m_dateCol->setWhatsThis(QStringLiteral("The column of the date, counted from 1 (1 to 20)."));
    m_cbDateFormat->setWhatsThis(QStringLiteral(
        "How the dates are written. An underscore stands for any one separator character; "
        "every part is two digits wide."));
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
                        m_pathEdit,
                        m_browse,
                        m_createDirectory,
                        m_useExisting,
                        m_makeNew,
                        m_emasterCheck,
                        m_symbolEdit,
                        m_nameEdit,
                        m_detect,
                        m_preview,
                        m_ok,
                        m_cancel};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        setTabOrder(order[i], order[i + 1]);
    }

    connect(m_openCheck, &QCheckBox::clicked, this, &CConversionSettingsDlg::OnCheckOpen);
    connect(m_hiCheck, &QCheckBox::clicked, this, &CConversionSettingsDlg::OnCheckHigh);
    connect(m_loCheck, &QCheckBox::clicked, this, &CConversionSettingsDlg::OnCheckLow);
    connect(m_volCheck, &QCheckBox::clicked, this, &CConversionSettingsDlg::OnCheckVolume);
    connect(m_oiCheck, &QCheckBox::clicked, this, &CConversionSettingsDlg::OnCheckOpenInt);
    connect(m_skipCheck, &QCheckBox::clicked, this, &CConversionSettingsDlg::OnCheckSkipRows);
    connect(m_browse, &QPushButton::clicked, this, &CConversionSettingsDlg::OnBrowse);
    connect(m_ok, &QPushButton::clicked, this, &CConversionSettingsDlg::OnOK);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_detect, &QPushButton::clicked, this, &CConversionSettingsDlg::OnDetect);
    connect(m_createDirectory, &QPushButton::clicked, this,
            &CConversionSettingsDlg::OnCreateDirectory);

    // Every change of a reading setting is shown in the preview a moment later.
    for (SpinEdit* spin :
         {m_dateCol, m_openCol, m_hiCol, m_loCol, m_cloCol, m_volCol, m_oiCol, m_skipRows}) {
        connect(spin->findChild<QLineEdit*>(), &QLineEdit::textChanged, this,
                &CConversionSettingsDlg::SchedulePreview);
    }
    for (QCheckBox* box : {m_openCheck, m_hiCheck, m_loCheck, m_volCheck, m_oiCheck, m_skipCheck,
                           m_decimalCommaCheck}) {
        connect(box, &QCheckBox::toggled, this, &CConversionSettingsDlg::SchedulePreview);
    }
    connect(m_delimiterGroup, &QButtonGroup::idToggled, this,
            &CConversionSettingsDlg::SchedulePreview);
    connect(m_cbDateFormat, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &CConversionSettingsDlg::SchedulePreview);
    connect(m_pathEdit, &QLineEdit::textChanged, this,
            &CConversionSettingsDlg::UpdateDirectoryStatus);
    connect(m_masterGroup, &QButtonGroup::idToggled, this,
            &CConversionSettingsDlg::UpdateDirectoryStatus);

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
        auto* window = findChild<CHelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
        if (window == nullptr) {
            window = new CHelpWindow(this);
            window->setObjectName(QStringLiteral("dialogHelpWindow"));
        }
        window->ShowPage(QStringLiteral("settings.html"));
    });
}

int CConversionSettingsDlg::DoModal() {
    OnInitDialog();
    return Prompter::instance().Exec(*this);
}

void CConversionSettingsDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    PlaceBesideFileLines();
    QWidget* focus = m_focusOnShow != nullptr ? m_focusOnShow : m_dateCol;
    focus->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(focus)) {
        edit->selectAll();
    } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(focus)) {
        spin->selectAll();
    }
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
    (void)UpdateData(true);
    CChooseDir chooser(m_strPath, this);
    if (chooser.DoModal() == QDialog::Accepted) {
        m_strPath = chooser.FilePath().left(chooser.FileOffset() - 1);
        UpdateData(false);
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
    if (const auto* comma = FindProblem(problems, ProblemKind::kConflict)) {
        Prompter::instance().Message(this, FromLocal(comma->message));
        m_decimalCommaCheck->setFocus();
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

// Counts the bytes read through it, for the progress of the whole-file summary.
class CountingFile final : public msdb::ReadableFile {
public:
    explicit CountingFile(std::unique_ptr<msdb::ReadableFile> file) : m_file(std::move(file)) {}
    msdb::Status Read(std::size_t n, char* buffer, std::size_t* got) override {
        msdb::Status s = m_file->Read(n, buffer, got);
        m_read += *got;
        return s;
    }
    std::uint64_t BytesRead() const { return m_read; }

private:
    std::unique_ptr<msdb::ReadableFile> m_file;
    std::uint64_t m_read = 0;
};

QString ProblemText(const engine::InputProblem& problem) {
    QString text = QStringLiteral("line %1, %2").arg(problem.line).arg(FromLocal(problem.field));
    if (!problem.text.empty()) {
        text += QStringLiteral(" \"%1\"").arg(FromLocal(problem.text));
    }
    return text + QStringLiteral(": ") + FromLocal(problem.what);
}

QString StoredDate(const msdb::MbfBytes& stored) {
    const std::optional<msdb::CalendarDay> day = msdb::StoredDateToDay(stored);
    return day ? QString::fromStdString(msdb::IsoDateText(*day)) : QStringLiteral("(no date)");
}

// The column headings of the preview, as the fields are named in the dialog.
constexpr msdb::PerField<const char*> kFieldHeadings = {
    {"Date", "Open", "High", "Low", "Close", "Volume", "Open Int"}};

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
    return settings;
}

void CConversionSettingsDlg::SchedulePreview() {
    if (m_bInitialised) {
        m_previewTimer->start();
    }
}

void CConversionSettingsDlg::RefreshPreview() {
    using engine::PriceField;
    StopSummary();
    m_preview->clear();
    m_preview->setRowCount(0);
    m_preview->setColumnCount(0);
    m_progress->setVisible(false);
    if (m_strInputPath.isEmpty()) {
        m_summary->setText(QStringLiteral("No input file is open."));
        return;
    }
    const engine::ConversionSettings settings = ControlSettings();
    const std::vector<engine::SettingsProblem> settingsProblems = settings.Validate();
    if (const engine::SettingsProblem* problem = ReadingProblem(settingsProblems)) {
        ShowSummary(m_nSummaryGeneration, FromLocal(problem->message), true);
        return;
    }
    std::vector<PriceField> shown;
    for (PriceField field : msdb::kPriceFields) {
        if (settings.fields[field].on) {
            shown.push_back(field);
        }
    }
    std::vector<engine::PreviewRow> rows;
    if (msdb::Status s =
            engine::ReadPreviewRows(msdb::FileSystem::Default(), settings, kPreviewRecords, &rows);
        !s.ok()) {
        ShowSummary(m_nSummaryGeneration,
                    QStringLiteral("The file cannot be read.\n") + FromLocal(s.message()), true);
        return;
    }
    m_preview->setColumnCount(static_cast<int>(shown.size()));
    m_preview->setRowCount(static_cast<int>(rows.size()));
    for (int c = 0; c < static_cast<int>(shown.size()); ++c) {
        const PriceField field = shown[static_cast<std::size_t>(c)];
        auto* heading = new QTableWidgetItem(QLatin1String(kFieldHeadings[field]));
        heading->setToolTip(
            QStringLiteral("Column %1 of the file").arg(settings.fields[field].column));
        m_preview->setHorizontalHeaderItem(c, heading);
    }
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const engine::PreviewRow& row = rows[static_cast<std::size_t>(r)];
        m_preview->setVerticalHeaderItem(
            r, new QTableWidgetItem(QStringLiteral("line %1").arg(row.line)));
        for (int c = 0; c < static_cast<int>(shown.size()); ++c) {
            const PriceField field = shown[static_cast<std::size_t>(c)];
            const msdb::MbfBytes& value = row.record.values[field];
            auto* item = new QTableWidgetItem(
                field == PriceField::kDate
                    ? StoredDate(value)
                    : QString::fromStdString(msdb::FullNumber(msdb::FromMbf(value))));
            item->setTextAlignment(field == PriceField::kDate ? Qt::AlignLeft | Qt::AlignVCenter
                                                              : Qt::AlignRight | Qt::AlignVCenter);
            QStringList problems;
            for (const engine::InputProblem& problem : row.problems) {
                if (problem.field == engine::FieldName(field)) {
                    problems.append(ProblemText(problem));
                }
            }
            if (!problems.isEmpty()) {
                item->setBackground(QColor(255, 200, 200));
                item->setForeground(QColor(140, 0, 0));
                item->setText(QStringLiteral("\u26a0 ") + item->text());
                item->setToolTip(problems.join(QLatin1Char('\n')));
                item->setData(Qt::UserRole, true);
            }
            m_preview->setItem(r, c, item);
        }
    }
    StartSummary(settings);
}

void CConversionSettingsDlg::StopSummary() {
    if (m_stopSummary) {
        m_stopSummary->store(true);
    }
    if (m_summaryThread.joinable()) {
        m_summaryThread.join();
    }
    m_stopSummary.reset();
}

void CConversionSettingsDlg::StartSummary(const engine::ConversionSettings& settings) {
    StopSummary();
    const int generation = ++m_nSummaryGeneration;
    ShowSummary(generation, QStringLiteral("Reading the whole file..."), false);
    std::uint64_t size = 0;
    if (msdb::FileInfo info; msdb::FileSystem::Default().GetInfo(settings.inputPath, &info).ok()) {
        size = info.size;
    }
    // A file that reads in a blink shows no progress bar.
    constexpr std::uint64_t kProgressFrom = 4 << 20;
    m_progress->setValue(0);
    m_progress->setVisible(size >= kProgressFrom);
    auto stop = std::make_shared<std::atomic<bool>>(false);
    m_stopSummary = stop;
    m_summaryThread = std::thread([this, settings, stop, generation, size] {
        std::unique_ptr<msdb::ReadableFile> opened;
        msdb::Status s = msdb::FileSystem::Default().OpenForRead(settings.inputPath, &opened);
        if (!s.ok()) {
            const QString text =
                QStringLiteral("The file cannot be read.\n") + FromLocal(s.message());
            QMetaObject::invokeMethod(
                this, [this, generation, text] { ShowSummary(generation, text, true); },
                Qt::QueuedConnection);
            return;
        }
        auto counting = std::make_unique<CountingFile>(std::move(opened));
        const CountingFile* counter = counting.get();
        engine::InputParser parser(settings, std::move(counting));
        int lastPermille = 0;
        const engine::ScanResult scan = engine::ScanInput(parser, [&](const engine::PriceRecord&,
                                                                      const engine::InputParser&) {
            if (stop->load(std::memory_order_relaxed)) {
                return false;
            }
            if (size >= kProgressFrom) {
                const int permille = static_cast<int>(counter->BytesRead() * 1000 / size);
                if (permille >= lastPermille + 10) {
                    lastPermille = permille;
                    QMetaObject::invokeMethod(
                        this, [this, generation, permille] { ShowProgress(generation, permille); },
                        Qt::QueuedConnection);
                }
            }
            return true;
        });
        if (scan.stopped) {
            return;
        }
        QString text;
        bool bad = true;
        if (!scan.status.ok()) {
            text = QStringLiteral("The file could not be read to its end.\n") +
                   FromLocal(scan.status.message());
        } else if (!parser.NotText().empty()) {
            text = QStringLiteral("This is not a plain text file: ") + FromLocal(parser.NotText()) +
                   QLatin1Char('.');
        } else if (scan.recordCount == 0) {
            text = QStringLiteral("The file holds no price records with these settings.");
        } else {
            text = QStringLiteral("The whole file: %1 %2, %3 to %4.")
                       .arg(scan.recordCount)
                       .arg(scan.recordCount == 1 ? QStringLiteral("record")
                                                  : QStringLiteral("records"))
                       .arg(StoredDate(scan.firstDate), StoredDate(scan.lastDate));
            if (scan.reversed) {
                text += QStringLiteral(
                    " The file lists the newest day first; the records will be stored oldest "
                    "first.");
            }
            const engine::InputProblems& problems = parser.problems();
            if (problems.empty()) {
                text += QStringLiteral(" No problems.");
                bad = false;
            } else {
                text += QStringLiteral(" %1 %2; the first: %3")
                            .arg(problems.count())
                            .arg(problems.count() == 1 ? QStringLiteral("problem")
                                                       : QStringLiteral("problems"))
                            .arg(ProblemText(problems.first().front()));
            }
        }
        QMetaObject::invokeMethod(
            this, [this, generation, text, bad] { ShowSummary(generation, text, bad); },
            Qt::QueuedConnection);
    });
}

void CConversionSettingsDlg::ShowProgress(int generation, int permille) {
    if (generation == m_nSummaryGeneration) {
        m_progress->setValue(permille);
    }
}

void CConversionSettingsDlg::ShowSummary(int generation, const QString& text, bool bad) {
    if (generation != m_nSummaryGeneration) {
        return;  // the settings changed while that reading ran
    }
    m_progress->setVisible(false);
    m_summary->setText(text);
    m_summary->setProperty("bad", bad);
    m_summary->setStyleSheet(bad ? QStringLiteral("color: #b00000;") : QString());
}

// True when the settings the members hold read the first records of the file without a problem.
bool CConversionSettingsDlg::MembersReadTheFile() const {
    engine::ConversionSettings settings = Settings();
    settings.inputPath = Local(m_strInputPath);
    settings.dateFormat = static_cast<engine::DateFormat>(DateFormatIndex(m_strDateFormat) + 1);
    if (settings.dateFormat == engine::DateFormat::kNone) {
        return false;
    }
    // Only the reading settings matter here: the directory and the symbol may be empty yet.
    for (const engine::SettingsProblem& problem : settings.Validate()) {
        if (problem.kind != engine::ProblemKind::kEmpty) {
            return false;
        }
    }
    std::vector<engine::PreviewRow> rows;
    if (!engine::ReadPreviewRows(msdb::FileSystem::Default(), settings, kPreviewRecords, &rows)
             .ok() ||
        rows.empty()) {
        return false;
    }
    return std::all_of(rows.begin(), rows.end(),
                       [](const engine::PreviewRow& row) { return row.problems.empty(); });
}

bool CConversionSettingsDlg::DetectFromFile(bool onlyWhenConfident) {
    using engine::PriceField;
    if (m_strInputPath.isEmpty()) {
        return false;
    }
    std::vector<std::string> lines;
    std::string notText;
    msdb::Status s = engine::ReadSampleLines(msdb::FileSystem::Default(), Local(m_strInputPath),
                                             &lines, &notText);
    if (!s.ok() || !notText.empty()) {
        m_strDetection = QStringLiteral("The file's layout could not be detected: ") +
                         FromLocal(s.ok() ? notText : s.message()) + QLatin1Char('.');
        return false;
    }
    const engine::DetectionResult result = engine::DetectLayout(lines);
    if (!result.found) {
        m_strDetection = QStringLiteral("The file's layout could not be detected: ") +
                         FromLocal(result.failure) +
                         QStringLiteral(" The settings are those of the last run.");
        return false;
    }
    QStringList reasons;
    for (const std::string& reason : result.reasons) {
        reasons.append(FromLocal(reason));
    }
    m_strDetectionReasons = reasons.join(QLatin1Char('\n'));
    QStringList undecided;
    for (const std::string& what : result.undecided) {
        undecided.append(FromLocal(what));
    }
    const bool confident = result.confidence == engine::Confidence::kHigh;
    if (!confident && onlyWhenConfident && MembersReadTheFile()) {
        m_strDetection = QStringLiteral(
                             "The file's layout is not certain; the settings are those of the last "
                             "run. Press Detect to take the proposal. ") +
                         undecided.join(QLatin1Char(' '));
        return false;
    }
    const bool lastRunFails = !confident && onlyWhenConfident;
    const engine::DetectedLayout& layout = result.layout;
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
    m_strDetection =
        QStringLiteral("Settings detected from the file") +
        (confident      ? QStringLiteral(". ")
         : lastRunFails ? QStringLiteral(", with doubts: the last run's settings do not read "
                                         "this file. ")
                        : QStringLiteral(", with doubts. ")) +
        QStringLiteral(
            "Left to you: the directory, the master, the symbol and the "
            "name.");
    if (!undecided.isEmpty()) {
        m_strDetection += QLatin1Char(' ') + undecided.join(QLatin1Char(' '));
    }
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
    m_createDirectory->setVisible(false);
    QString text;
    bool warn = false;
    const int master = m_masterGroup->checkedId();
    const QFileInfo info(typed);
    if (typed.isEmpty()) {
        text = QStringLiteral("Type the directory that receives the data, or browse to it.");
    } else if (!info.exists()) {
        text = QStringLiteral("The directory does not exist.");
        m_createDirectory->setVisible(true);
        warn = master == 0;
        if (warn) {
            text += QStringLiteral(" Use Existing Master needs a directory that holds a MASTER.");
        }
    } else if (!info.isDir()) {
        text = QStringLiteral("This is a file, not a directory.");
        warn = true;
    } else {
        std::optional<std::string> masterPath;
        const msdb::Status s =
            msdb::LocateMaster(msdb::FileSystem::Default(), Local(typed), &masterPath);
        msdb::Master file;
        if (!s.ok()) {
            text = QStringLiteral("The directory cannot be read: ") + FromLocal(s.message());
            warn = true;
        } else if (!masterPath) {
            text = QStringLiteral("The directory exists and holds no MASTER.");
            warn = master == 0;
            if (warn) {
                text += QStringLiteral(
                    " Use Existing Master will be refused: choose Make New Master to start one.");
            }
        } else if (!msdb::Master::Read(msdb::FileSystem::Default(), *masterPath, &file).ok() ||
                   !file.HasWholeHeader()) {
            text = QStringLiteral("The directory holds a MASTER that cannot be read.");
            warn = true;
        } else {
            const int count = file.header().recordCount;
            text = QStringLiteral("The directory holds a MASTER that lists %1 %2.")
                       .arg(count)
                       .arg(count == 1 ? QStringLiteral("security") : QStringLiteral("securities"));
            warn = master == 1;
            if (warn) {
                text += QStringLiteral(
                    " Make New Master will be refused: choose Use Existing Master to add to it.");
            }
        }
    }
    m_directoryStatus->setText(text);
    m_directoryStatus->setProperty("warning", warn);
    m_directoryStatus->setStyleSheet(warn ? QStringLiteral("color: #b00000;") : QString());
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
    m_focusOnShow = ControlOf(field, priceField);
}

// Places the dialog where it leaves the file's lines in the main window in sight: below them when
// the screen has room, else beside the main window, else as low as the screen allows.
void CConversionSettingsDlg::PlaceBesideFileLines() {
    if (m_pView == nullptr || !m_pView->isVisible()) {
        return;
    }
    const QScreen* screen = m_pView->screen();
    if (screen == nullptr) {
        return;
    }
    const QRect available = screen->availableGeometry();
    const QRect frame = frameGeometry();
    const QWidget* mainWindow = m_pView->window();
    const QRect mainFrame = mainWindow->frameGeometry();
    const int linesBottom = m_pView->mapToGlobal(QPoint(0, 0)).y() +
                            std::min(m_pView->height(), m_pView->LinesHeight());
    QPoint to = frame.topLeft();
    if (linesBottom + frame.height() <= available.bottom()) {
        to = QPoint(std::clamp(mainFrame.left(), available.left(),
                               std::max(available.left(), available.right() - frame.width())),
                    linesBottom);
    } else if (mainFrame.right() + frame.width() <= available.right()) {
        to = QPoint(mainFrame.right() + 1, std::max(available.top(), mainFrame.top()));
    } else if (mainFrame.left() - frame.width() >= available.left()) {
        to = QPoint(mainFrame.left() - frame.width(), std::max(available.top(), mainFrame.top()));
    } else {
        to = QPoint(frame.left(), std::max(available.top(), available.bottom() - frame.height()));
    }
    move(to);
}
