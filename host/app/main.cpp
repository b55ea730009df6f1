// qorscan: the scanning application. Usage: qorscan [--device SANE-DEVICE] [--no-device-list]
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

#include "AppSettings.h"
#include "SaneConfig.h"
#include "ScanWindow.h"

#include <qorheadless.h>

namespace {

// The module beside the program when installed (bin/ and lib/), else the one of the build.
std::string ModulePath()
{
    const QString strInstalled =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../lib/libQORScan.so"));
    if (QFileInfo::exists(strInstalled))
        return QFileInfo(strInstalled).canonicalFilePath().toStdString();
    return QORSCAN_MODULE_PATH;
}

std::string ProjectSaneFolder()
{
    const QString strInstalled =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../share/qorscan/sane"));
    if (QFileInfo::exists(strInstalled))
        return QFileInfo(strInstalled).canonicalFilePath().toStdString();
    return QORSCAN_SANE_DIR;
}

// Message boxes of the window system (none is expected: the control's messages come through
// the message object) become Qt's.
int CALLBACK ShowMessageBox(HWND, LPCWSTR pszText, LPCWSTR pszCaption, UINT, void*)
{
    QMessageBox::information(QApplication::activeWindow(), QString::fromUtf16(pszCaption),
                             QString::fromUtf16(pszText));
    return IDOK;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qorscan"));
    QApplication::setApplicationDisplayName(QStringLiteral("QORScan"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Scan photos and pages, with frames you draw or that are found."));
    parser.addHelpOption();
    const QCommandLineOption device(QStringLiteral("device"), QStringLiteral("Scan from this SANE device."),
                                    QStringLiteral("name"));
    const QCommandLineOption noList(QStringLiteral("no-device-list"), QStringLiteral("Do not look for scanners."));
    parser.addOption(device);
    parser.addOption(noList);
    parser.process(app);

    if (parser.isSet(device)) {
        AppSettings settings = AppSettings::Load();
        settings.strDevice = parser.value(device);
        settings.Save();
    }
    QorSetMessageBoxHandler(&ShowMessageBox, nullptr);
    ScanWindowOptions options;
    options.strModulePath = ModulePath();
    options.strSaneConfig = PrepareSaneConfig(ProjectSaneFolder());
    options.bListDevices = !parser.isSet(noList);
    CScanWindow window(options);
    window.show();
    if (!window.IsReady())
        QMessageBox::critical(&window, QStringLiteral("QORScan"), window.StartError());
    return app.exec();
}
