#include "app/KorvexView.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QScreen>
#include <QScrollBar>
#include <fstream>

#include "app/ConversionSettingsDlg.h"
#include "app/Prompter.h"
#include "app/RegistryStore.h"
#include "app/RemoveSecurityDlg.h"
#include "engine/ConversionJob.h"
#include "engine/RemoveSecurity.h"
#include "msdb/CodePage.h"

namespace {

constexpr int kPreviewLines = 10;
constexpr std::size_t kMaxPiece = 299;

// Tells the user the conversion's messages in modal boxes.
class PrompterNotifier final : public engine::Notifier {
public:
    explicit PrompterNotifier(QWidget* parent) : m_parent(parent) {}
    void ShowMessage(const std::string& text) override {
        m_last = QString::fromLocal8Bit(text.c_str());
        Prompter::instance().Message(m_parent, m_last);
    }
    // The message shown last.
    const QString& Last() const { return m_last; }
    std::optional<bool> Ask(const std::string& question) override {
        return Prompter::instance().Question(m_parent, QString::fromLocal8Bit(question.c_str()));
    }

private:
    QWidget* m_parent;
    QString m_last;
};

std::string Local(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

}  // namespace

CKorvexView::CKorvexView(CRegistryStore* store, QWidget* parent)
    : QPlainTextEdit(parent), m_pStore(store) {
    setObjectName(QStringLiteral("korvexView"));
    setReadOnly(true);
    // The file's columns line up in a fixed-width font; long lines scroll rather than wrap.
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTabStopDistance(4 * fontMetrics().horizontalAdvance(QLatin1Char(' ')) * 2);
    setWhatsThis(QStringLiteral(
        "The pane shows the first lines of the opened price file and one line of outcome for "
        "each conversion."));
}

void CKorvexView::AppendText(const QString& text) {
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(plain);
    setTextCursor(cursor);
    ensureCursorVisible();
}

std::vector<std::string> CKorvexView::FirstLines(const std::string& path, int count) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string piece;
    char c;
    while (static_cast<int>(lines.size()) < count && in.get(c)) {
        if (c == '\r' && in.peek() == '\n') {
            continue;  // text mode: CR LF reads as one line feed
        }
        if (c == '\n') {
            lines.push_back(piece);
            piece.clear();
            continue;
        }
        piece += c;
        if (piece.size() == kMaxPiece) {
            lines.push_back(piece);
            piece.clear();
            if (in.peek() == '\n') {
                in.get(c);  // the line feed ends this piece; an empty piece would follow
                lines.emplace_back();
            }
        }
    }
    if (static_cast<int>(lines.size()) < count && !piece.empty()) {
        lines.push_back(piece);
    }
    lines.resize(std::min(lines.size(), static_cast<std::size_t>(count)));
    return lines;
}

void CKorvexView::OnPreviewFile() {
    setUpdatesEnabled(false);
    setPlainText(QString());
    AppendText(QStringLiteral("To help you with the conversion settings, your file...\r\n\r\n\t") +
               m_strInputPath + QStringLiteral("\r\n\r\nlooks like this...\r\n\r\n"));
    for (const std::string& line : FirstLines(Local(m_strInputPath), kPreviewLines)) {
        AppendText(QString::fromLocal8Bit(line.c_str()) + QStringLiteral("\r\n"));
    }
    setUpdatesEnabled(true);
    emit InputPathChanged(!m_strInputPath.isEmpty());
    RunConversion(true);
}

int CKorvexView::LinesHeight() const {
    const qreal lines = document()->size().height();  // the plain text layout counts lines
    return std::min(height(), static_cast<int>(lines * fontMetrics().lineSpacing()) +
                                  2 * frameWidth() +
                                  static_cast<int>(document()->documentMargin()));
}

QPoint CKorvexView::PlaceOffLines(const QRect& frame) const {
    const QScreen* shownOn = screen();
    if (!isVisible() || shownOn == nullptr) {
        return frame.topLeft();
    }
    const QRect available = shownOn->availableGeometry();
    const QRect mainFrame = window()->frameGeometry();
    const int linesBottom = mapToGlobal(QPoint(0, 0)).y() + LinesHeight();
    if (linesBottom + frame.height() <= available.bottom()) {
        return QPoint(std::clamp(mainFrame.left(), available.left(),
                                 std::max(available.left(), available.right() - frame.width())),
                      linesBottom);
    }
    if (mainFrame.right() + frame.width() <= available.right()) {
        return QPoint(mainFrame.right() + 1, std::max(available.top(), mainFrame.top()));
    }
    if (mainFrame.left() - frame.width() >= available.left()) {
        return QPoint(mainFrame.left() - frame.width(), std::max(available.top(), mainFrame.top()));
    }
    return QPoint(frame.left(), std::max(available.top(), available.bottom() - frame.height()));
}

QString CKorvexView::SymbolOfFile(const QString& path, int codePage) {
    const QString name = QFileInfo(path).completeBaseName().toUpper();
    // Only what the code page holds, and 16 characters at most.
    QString stem;
    for (char32_t c : name.toUcs4()) {
        const QString character = QString::fromUcs4(&c, 1);
        std::string ignored;
        if (!msdb::EncodeText(character.toStdString(), codePage, &ignored) &&
            static_cast<std::size_t>(stem.toUcs4().size()) < engine::limits::kMaxSymbolLength) {
            stem += character;
        }
    }
    return stem;
}

void CKorvexView::OnFileSettings() {
    RunConversion(false);
}

void CKorvexView::RunConversion(bool fromOpenedFile) {
    CConversionSettingsDlg dialog(window());
    dialog.SetView(this);
    dialog.SetInputPath(m_strInputPath);
    const std::string section = "Setting";
    auto text = [&](const char* entry, const char* defaultValue) {
        return QString::fromLocal8Bit(m_pStore->ReadString(section, entry, defaultValue).c_str());
    };
    auto number = [&](const char* entry, int defaultValue) {
        return m_pStore->ReadInt(section, entry, defaultValue);
    };
    dialog.m_strDateFormat = text("DateFormat", "MMDDYY");
    dialog.m_nExist = number("Exist", 0);
    dialog.m_nDelimiter = number("Delimiter", 0);
    dialog.m_strPath = text("Path", "");
    dialog.m_strSymbol = text("Symbol", "");
    dialog.m_strName = text("Name", "");
    dialog.m_nCodePage = number("CodePage", msdb::kDefaultCodePage);
    dialog.m_strFrom = text("From", "");
    dialog.m_strTo = text("To", "");
    dialog.m_bSkipOn = number("SkipOn", 0);
    dialog.m_bEMaster = number("EMaster", 0);
    dialog.m_bDecimalComma = number("DecimalComma", 0);
    dialog.m_nSkipRows = number("SkipRows", 0);
    dialog.m_nDateCol = number("DateCol", 1);
    dialog.m_bOpenOn = number("OpenOn", 1);
    dialog.m_nOpenCol = number("OpenCol", 2);
    dialog.m_bHiOn = number("HiOn", 1);
    dialog.m_nHiCol = number("HiCol", 3);
    dialog.m_bLoOn = number("LoOn", 1);
    dialog.m_nLoCol = number("LoCol", 4);
    dialog.m_nCloCol = number("CloCol", 5);
    dialog.m_bVolOn = number("VolOn", 1);
    dialog.m_nVolCol = number("VolCol", 6);
    dialog.m_bOIOn = number("OIOn", 1);
    dialog.m_nOICol = number("OICol", 7);
    if (fromOpenedFile) {
        // Without a run before, detection's proposal is the best start even when it has doubts.
        const bool ranBefore = !m_pStore->ReadString(section, "DateFormat", "").empty();
        dialog.DetectFromFile(ranBefore);
        dialog.m_strSymbol = SymbolOfFile(m_strInputPath, dialog.m_nCodePage);
    }
    for (;;) {
        if (dialog.DoModal() != QDialog::Accepted) {
            return;
        }
        std::optional<engine::ConversionJob::Refusal> refused;
        QString message;
        if (Convert(dialog, &refused, &message) || !refused) {
            return;
        }
        // Back to the dialog, as the user left it, at the setting the run refused.
        dialog.ShowRefusal(message, refused->field, refused->priceField);
    }
}

bool CKorvexView::Convert(CConversionSettingsDlg& dialog,
                          std::optional<engine::ConversionJob::Refusal>* refused,
                          QString* message) {
    const std::string section = "Setting";

    m_pStore->WriteString(section, "DateFormat", Local(dialog.m_strDateFormat));
    m_pStore->WriteInt(section, "CodePage", dialog.m_nCodePage);
    m_pStore->WriteString(section, "From", Local(dialog.m_strFrom));
    m_pStore->WriteString(section, "To", Local(dialog.m_strTo));
    const std::pair<const char*, int> numbers[] = {
        {"Delimiter", dialog.m_nDelimiter}, {"Exist", dialog.m_nExist},
        {"SkipOn", dialog.m_bSkipOn},       {"SkipRows", dialog.m_nSkipRows},
        {"EMaster", dialog.m_bEMaster},     {"DecimalComma", dialog.m_bDecimalComma},
        {"DateCol", dialog.m_nDateCol},     {"OpenOn", dialog.m_bOpenOn},
        {"OpenCol", dialog.m_nOpenCol},     {"HiOn", dialog.m_bHiOn},
        {"HiCol", dialog.m_nHiCol},         {"LoOn", dialog.m_bLoOn},
        {"LoCol", dialog.m_nLoCol},         {"CloCol", dialog.m_nCloCol},
        {"VolOn", dialog.m_bVolOn},         {"VolCol", dialog.m_nVolCol},
        {"OIOn", dialog.m_bOIOn},           {"OICol", dialog.m_nOICol}};
    for (const auto& [entry, value] : numbers) {
        m_pStore->WriteInt(section, entry, value);
    }

    PrompterNotifier notifier(window());
    engine::JobServices services;
    services.notifier = &notifier;
    services.store = m_pStore;
    engine::ConversionSettings settings = dialog.Settings();
    settings.inputPath = Local(m_strInputPath);
    settings.dateFormat = static_cast<engine::DateFormat>(m_nDateFormat);
    auto job = std::make_unique<engine::ConversionJob>(std::move(settings), services);

    QApplication::setOverrideCursor(Qt::WaitCursor);
    int result = job->Run();
    *message = notifier.Last();
    if (result != 0 && !job->Changed()) {
        *refused = job->Refused();
    }
    if (result == 0) {
        AppendText(QStringLiteral("\r\nConversion completed successfully!"));
        AppendText(QStringLiteral("\r\n") +
                   QString::fromLocal8Bit(engine::ConversionSummary(*job).c_str()));
        QApplication::beep();
    } else {
        AppendText(QStringLiteral("\r\nConversion failed."));
        if (!job->Changed()) {
            AppendText(QStringLiteral("\r\n") +
                       QString::fromLocal8Bit(engine::NotChangedMessage(job->Effect()).c_str()));
        }
    }
    job.reset();
    QApplication::restoreOverrideCursor();
    return result == 0;
}

void CKorvexView::OnFileRemoveSecurity() {
    CRemoveSecurityDlg dialog(
        QString::fromLocal8Bit(m_pStore->ReadString("Setting", "Path", "").c_str()), window());
    if (Prompter::instance().Exec(dialog) != QDialog::Accepted || dialog.Symbol().isEmpty()) {
        return;
    }
    if (!Prompter::instance().Question(
            window(), QStringLiteral("Remove %1 from %2?\nIts price files are deleted.")
                          .arg(dialog.Symbol(), dialog.Directory()))) {
        return;
    }
    PrompterNotifier notifier(window());
    engine::JobServices services;
    services.notifier = &notifier;
    engine::RemovalReport report;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const int result = engine::RemoveSecurity(Local(dialog.Directory()), Local(dialog.Symbol()),
                                              services, &report);
    QApplication::restoreOverrideCursor();
    const QString directory = QString::fromLocal8Bit(report.directory.c_str());
    if (result == 0) {
        AppendText(QStringLiteral("\r\nRemoved %1 from %2.").arg(dialog.Symbol(), directory));
    } else if (!report.changed) {
        report.effect.directory = report.directory;
        AppendText(QStringLiteral("\r\n") +
                   QString::fromLocal8Bit(engine::NotChangedMessage(report.effect).c_str()));
    }
}

void CKorvexView::OnViewClearWindow() {
    setPlainText(QString());
}
