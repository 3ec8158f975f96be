// korvex: the desktop program. The command line names price files, opened at once as File > Open
// opens them (several go into one run); --help and --version answer and end the program.
#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <string_view>

#include "app/KorvexApp.h"
#include "ui/PlatformSettingsStore.h"

namespace {

// What --help says above the options: what the program does, what FILE does, where it keeps the
// settings (the place this run would use).
QString description() {
    return QStringLiteral(
               "Converts text files of daily prices into MetaStock-format data directories.\n"
               "\n"
               "With FILE, the window opens with that price file: its first lines shown and the\n"
               "Conversion Settings dialog started from what the file holds, as File > Open does.\n"
               "With several, they are converted in one run, each file a security of its own.\n"
               "\n"
               "The settings, the recent files and the window's place are kept in\n"
               "  %1\n"
               "The environment variable KORVEX_SETTINGS names another file.")
        .arg(QString::fromLocal8Bit(ui::PlatformSettingsStore::DefaultPath().c_str()));
}

// The command line: --help, --version and any number of FILEs.
void define(QCommandLineParser* parser) {
    parser->setApplicationDescription(description());
    parser->addHelpOption();
    parser->addVersionOption();
    parser->addPositionalArgument(QStringLiteral("FILE"),
                                  QStringLiteral("Price files to open and convert at once."),
                                  QStringLiteral("[FILE...]"));
}

// True when the command line asks for --help or --version, which are answered without a display.
bool asksForHelpOrVersion(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--") {
            break;
        }
        if (argument == "-h" || argument == "-?" || argument == "--help" || argument == "-v" ||
            argument == "--version") {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("Korvex"));
    QCoreApplication::setOrganizationName(QStringLiteral("Halvorn"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORVEX_VERSION));
    if (asksForHelpOrVersion(argc, argv)) {
        QCoreApplication application(argc, argv);
        QCommandLineParser parser;
        define(&parser);
        parser.process(application);  // answers and ends the program, as below
    }

    QApplication application(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("korvex"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/korvex/korvex.svg")));
    QCommandLineParser parser;
    define(&parser);
    parser.process(application);  // ends the program after --help, --version or an unknown option
    KorvexApp korvex;
    korvex.start(parser.positionalArguments());
    return QApplication::exec();
}
