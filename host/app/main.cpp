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

// A file of the installed tree (bin/ beside lib/ and share/), else the one of the build.
std::string InstalledOr(const char* pszRelative, const char* pszBuilt)
{
    const QString strInstalled = QDir(QCoreApplication::applicationDirPath()).filePath(QString::fromLatin1(pszRelative));
    if (QFileInfo::exists(strInstalled))
        return QFileInfo(strInstalled).canonicalFilePath().toStdString();
    return pszBuilt;
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
    options.strModulePath = InstalledOr("../lib/libQORScan.so", QORSCAN_MODULE_PATH);
    options.strSaneConfig = PrepareSaneConfig(InstalledOr("../share/qorscan/sane", QORSCAN_SANE_DIR));
    options.strSceneFile = InstalledOr("../share/qorscan/scene.ppm", "");
    options.bListDevices = !parser.isSet(noList);
    CScanWindow window(options);
    window.show();
    if (!window.IsReady())
        QMessageBox::critical(&window, QStringLiteral("QORScan"), window.StartError());
    return app.exec();
}
