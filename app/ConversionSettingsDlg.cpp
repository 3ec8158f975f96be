#include "app/ConversionSettingsDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <array>
#include <limits>
#include <tuple>

#include "app/ChooseDir.h"
#include "app/KorvexView.h"
#include "app/Prompter.h"
#include "app/SpinEdit.h"
#include "msdb/Encoding.h"

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

CConversionSettingsDlg::~CConversionSettingsDlg() = default;

void CConversionSettingsDlg::BuildControls() {
    // Input File: Supported Fields and Column Assignments
    auto* fields =
        new QGroupBox(QStringLiteral("Input File: Supported Fields and Column Assignments"));
    auto* fieldGrid = new QGridLayout(fields);
    m_dateCol = MakeSpin("dateColumnEdit", 1, 20, this);
    m_openCheck = new QCheckBox(QStringLiteral("Open"));
    m_openCol = MakeSpin("openColumnEdit", 1, 20, this);
    m_hiCheck = new QCheckBox(QStringLiteral("High"));
    m_hiCol = MakeSpin("highColumnEdit", 1, 20, this);
    m_loCheck = new QCheckBox(QStringLiteral("Low"));
    m_loCol = MakeSpin("lowColumnEdit", 1, 20, this);
    m_cloCol = MakeSpin("closeColumnEdit", 1, 20, this);
    m_volCheck = new QCheckBox(QStringLiteral("Volume"));
    m_volCol = MakeSpin("volumeColumnEdit", 1, 20, this);
    m_oiCheck = new QCheckBox(QStringLiteral("Open Int"));
    m_oiCol = MakeSpin("openIntColumnEdit", 1, 20, this);
    m_openCheck->setObjectName(QStringLiteral("openCheck"));
    m_hiCheck->setObjectName(QStringLiteral("highCheck"));
    m_loCheck->setObjectName(QStringLiteral("lowCheck"));
    m_volCheck->setObjectName(QStringLiteral("volumeCheck"));
    m_oiCheck->setObjectName(QStringLiteral("openIntCheck"));
    auto* dateLabel = new QLabel(QStringLiteral("Date"));
    auto* closeLabel = new QLabel(QStringLiteral("Close"));
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
    m_comma = new QRadioButton(QStringLiteral("Comma"));
    m_tab = new QRadioButton(QStringLiteral("Tab"));
    m_space = new QRadioButton(QStringLiteral("Space"));
    m_comma->setObjectName(QStringLiteral("commaRadio"));
    m_tab->setObjectName(QStringLiteral("tabRadio"));
    m_space->setObjectName(QStringLiteral("spaceRadio"));
    m_semicolon = new QRadioButton(QStringLiteral("Semicolon"));
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
    m_decimalCommaCheck = new QCheckBox(QStringLiteral("Numbers with a decimal comma (10,5)"));
    m_decimalCommaCheck->setObjectName(QStringLiteral("decimalCommaCheck"));
    m_decimalCommaCheck->setWhatsThis(QStringLiteral(
        "The numbers of the file are written with a decimal comma, as European sources write "
        "them: 10,5 is read as 10.5. Only with a delimiter other than comma; a number that "
        "holds a point (1.234,5) is then a problem."));
    delimiterBox->addWidget(m_decimalCommaCheck);
    detailLayout->addLayout(delimiterBox, 3);

    auto* formatBox = new QVBoxLayout;
    auto* formatLabel = new QLabel(QStringLiteral("Date Format"));
    m_cbDateFormat = new QComboBox;
    m_cbDateFormat->setObjectName(QStringLiteral("dateFormatCombo"));
    m_cbDateFormat->setEditable(true);
    m_cbDateFormat->setInsertPolicy(QComboBox::NoInsert);
    m_cbDateFormat->setMaxVisibleItems(12);
    for (std::string_view name : msdb::kDateFormatNames) {
        m_cbDateFormat->addItem(QString::fromLatin1(name.data(), static_cast<int>(name.size())));
    }
    formatLabel->setBuddy(m_cbDateFormat);
    formatBox->addWidget(formatLabel);
    formatBox->addWidget(m_cbDateFormat);
    detailLayout->addLayout(formatBox, 2);
    connect(m_cbDateFormat->lineEdit(), &QLineEdit::textEdited, this,
            [this] { m_nDateFormatSelection = -1; });
    connect(m_cbDateFormat, qOverload<int>(&QComboBox::activated), this,
            [this](int index) { m_nDateFormatSelection = index; });

    auto* skipBox = new QVBoxLayout;
    m_skipCheck = new QCheckBox(QStringLiteral("Skip Rows"));
    m_skipCheck->setObjectName(QStringLiteral("skipRowsCheck"));
    m_skipRows = MakeSpin("skipRowsEdit", 0, 200, this);
    skipBox->addWidget(m_skipCheck);
    skipBox->addWidget(m_skipRows);
    detailLayout->addLayout(skipBox, 1);

    // Output File: Path to Output Files
    auto* output = new QGroupBox(QStringLiteral("Output File: Path to Output Files"));
    auto* outputLayout = new QGridLayout(output);
    auto* pathLabel = new QLabel(QStringLiteral("Directory Path"));
    m_pathEdit = new QLineEdit;
    m_pathEdit->setObjectName(QStringLiteral("directoryEdit"));
    m_pathEdit->setValidator(
        new MaxLengthValidator(static_cast<int>(limits::kMaxDirectoryLength), m_pathEdit));
    m_pathEdit->setMinimumWidth(320);
    pathLabel->setBuddy(m_pathEdit);
    m_browse = new QPushButton(QStringLiteral("Browse..."));
    m_browse->setObjectName(QStringLiteral("browseButton"));
    m_browse->setAutoDefault(false);
    outputLayout->addWidget(pathLabel, 0, 0, 1, 2);
    outputLayout->addWidget(m_pathEdit, 1, 0);
    outputLayout->addWidget(m_browse, 1, 1);

    // Output File: Detail Settings
    auto* security = new QGroupBox(QStringLiteral("Output File: Detail Settings"));
    auto* securityLayout = new QGridLayout(security);
    securityLayout->addWidget(
        new QLabel(QStringLiteral("How to use a Master File in this Directory?")), 0, 0, 1, 2);
    m_useExisting = new QRadioButton(QStringLiteral("Use Existing Master"));
    m_makeNew = new QRadioButton(QStringLiteral("Make New Master"));
    m_useExisting->setObjectName(QStringLiteral("useExistingMasterRadio"));
    m_makeNew->setObjectName(QStringLiteral("makeNewMasterRadio"));
    m_masterGroup = new QButtonGroup(this);
    m_masterGroup->addButton(m_useExisting, 0);
    m_masterGroup->addButton(m_makeNew, 1);
    securityLayout->addWidget(m_useExisting, 1, 0);
    securityLayout->addWidget(m_makeNew, 2, 0);
    m_emasterCheck = new QCheckBox(QStringLiteral("Also make an &EMASTER"));
    m_emasterCheck->setObjectName(QStringLiteral("emasterCheck"));
    m_emasterCheck->setWhatsThis(QStringLiteral(
        "With Make New Master, make an EMASTER beside the MASTER too, as many charting programs "
        "read one. An EMASTER that a directory already holds is always kept in step."));
    securityLayout->addWidget(m_emasterCheck, 3, 0);
    auto* symbolLabel = new QLabel(QStringLiteral("Symbol"));
    auto* nameLabel = new QLabel(QStringLiteral("Name"));
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

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fields);
    layout->addWidget(details);
    layout->addWidget(output);
    layout->addWidget(security);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

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
                        m_useExisting,
                        m_makeNew,
                        m_emasterCheck,
                        m_symbolEdit,
                        m_nameEdit,
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
}

int CConversionSettingsDlg::DoModal() {
    OnInitDialog();
    return Prompter::instance().Exec(*this);
}

void CConversionSettingsDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_dateCol->setFocus();
}

void CConversionSettingsDlg::OnInitDialog() {
    UpdateData(false);
    m_skipRows->setEnabled(m_bSkipOn != 0);
    m_openCol->setEnabled(m_bOpenOn != 0);
    m_hiCol->setEnabled(m_bHiOn != 0);
    m_loCol->setEnabled(m_bLoOn != 0);
    m_volCol->setEnabled(m_bVolOn != 0);
    m_oiCol->setEnabled(m_bOIOn != 0);
    m_bInitialised = true;
}

void CConversionSettingsDlg::SelectDateFormat(const QString& text) {
    for (int i = 0; i < m_cbDateFormat->count(); ++i) {
        if (m_cbDateFormat->itemText(i).startsWith(text, Qt::CaseInsensitive)) {
            m_cbDateFormat->setCurrentIndex(i);
            m_nDateFormatSelection = i;
            return;
        }
    }
    m_cbDateFormat->setCurrentIndex(-1);
    m_cbDateFormat->setEditText(text);
    m_nDateFormatSelection = -1;
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
