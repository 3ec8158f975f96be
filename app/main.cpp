#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include "app/KorvexApp.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvex"));
    QApplication::setOrganizationName(QStringLiteral("Halvorn"));
    QApplication::setApplicationVersion(QStringLiteral(KORVEX_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("korvex"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/korvex/korvex.svg")));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Converts text files of daily prices into MetaStock-format data directories."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("A price file to open and convert at once."),
                                 QStringLiteral("[file]"));
    parser.process(application);
    if (parser.positionalArguments().size() > 1) {
        fprintf(stderr, "korvex: only one file can be opened at a time\n");
        return 2;
    }

    CKorvexApp korvex;
    if (!korvex.InitInstance(parser.positionalArguments().value(0))) {
        return 1;
    }
    int status = QApplication::exec();
    korvex.ExitInstance();
    return status;
}
