#include "SaneConfig.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTextStream>

namespace {

constexpr const char* kSystemFolder = "/etc/sane.d";

// The backend names of a dll.conf, comments and blank lines left out.
QStringList BackendsOf(const QString& strPath)
{
    QStringList backends;
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return backends;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString strLine = in.readLine().section(QLatin1Char('#'), 0, 0).trimmed();
        if (!strLine.isEmpty() && !backends.contains(strLine))
            backends << strLine;
    }
    return backends;
}

}  // namespace

std::string PrepareSaneConfig(const std::string& strProjectFolder)
{
    const QString strProject = QString::fromStdString(strProjectFolder);
    const QString strFolder =
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)).filePath(QStringLiteral("qorscan/sane"));
    if (!QDir().mkpath(strFolder))
        return strProjectFolder;
    QStringList backends = BackendsOf(QDir(strProject).filePath(QStringLiteral("dll.conf")));
    for (const QString& strBackend : BackendsOf(QDir(QString::fromLatin1(kSystemFolder)).filePath(QStringLiteral("dll.conf"))))
        if (!backends.contains(strBackend))
            backends << strBackend;
    QFile dll(QDir(strFolder).filePath(QStringLiteral("dll.conf")));
    if (!dll.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return strProjectFolder;
    QTextStream out(&dll);
    out << "# Written by qorscan at start: the development backends, then the system's.\n";
    for (const QString& strBackend : backends)
        out << strBackend << '\n';
    dll.close();
    const QString strTest = QDir(strFolder).filePath(QStringLiteral("test.conf"));
    QFile::remove(strTest);
    if (!QFile::copy(QDir(strProject).filePath(QStringLiteral("test.conf")), strTest))
        return strProjectFolder;
    return (strFolder + QLatin1Char(':') + QString::fromLatin1(kSystemFolder)).toStdString();
}
