#include "AppSettings.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMaxFrames = 64;  // frames kept from the file at most

template <typename T>
T Choose(const QString& strValue, std::initializer_list<std::pair<const char*, T>> choices, T fallback)
{
    for (const auto& [pszName, value] : choices)
        if (strValue == QLatin1String(pszName))
            return value;
    return fallback;
}

std::vector<RECT> ParseFrames(const QString& strFrames)
{
    std::vector<RECT> vecFrames;
    for (const QString& strFrame : strFrames.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList parts = strFrame.split(QLatin1Char(','));
        if (parts.size() != 4 || vecFrames.size() >= kMaxFrames)
            continue;
        LONG values[4];
        bool bOk = true;
        for (int i = 0; i < 4 && bOk; ++i) {
            values[i] = parts[i].trimmed().toInt(&bOk);
            bOk = bOk && values[i] >= 0 && values[i] <= 0xFFFF;  // page units travel as 16-bit pairs
        }
        if (bOk && values[2] > values[0] && values[3] > values[1])
            vecFrames.push_back(RECT{values[0], values[1], values[2], values[3]});
    }
    return vecFrames;
}

}  // namespace

QString AppSettings::FilePath()
{
    const QString strSet = qEnvironmentVariable("QORSCAN_CONFIG");
    if (!strSet.isEmpty())
        return strSet;
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("qorscan/qorscan.ini"));
}

AppSettings AppSettings::Load()
{
    QSettings file(FilePath(), QSettings::IniFormat);
    AppSettings s;
    s.strDevice = file.value("scan/device").toString();
    const int nSource = file.value("scan/source", 1).toInt();
    s.nSource = nSource >= 1 && nSource <= 3 ? nSource : 1;
    const int nMode = file.value("scan/mode", 2).toInt();
    s.nMode = nMode >= 0 && nMode <= 2 ? nMode : 2;
    const int nResolution = file.value("scan/resolution", 300).toInt();
    const auto& offered = OfferedResolutions();
    s.nResolution = std::find(offered.begin(), offered.end(), nResolution) != offered.end() ? nResolution : 300;
    s.page = Choose<PageChoice>(file.value("scan/page").toString(),
                                {{"letter", PageChoice::Letter}, {"a4", PageChoice::A4}, {"legal", PageChoice::Legal},
                                 {"bed", PageChoice::Bed}},
                                PageChoice::Letter);
    s.units = Choose<UnitChoice>(file.value("scan/units").toString(),
                                 {{"mm", UnitChoice::Millimetres}, {"in", UnitChoice::Inches}},
                                 UnitChoice::Millimetres);
    s.vecFrames = ParseFrames(file.value("scan/frames").toString());
    s.strOutputFolder = file.value("output/folder").toString();
    if (s.strOutputFolder.isEmpty())
        s.strOutputFolder = QDir(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation))
                                .filePath(QStringLiteral("Scans"));
    s.format = Choose<OutputFormat>(file.value("output/format").toString(),
                                    {{"png", OutputFormat::Png}, {"jpg", OutputFormat::Jpeg},
                                     {"tif", OutputFormat::Tiff}, {"pdf", OutputFormat::Pdf}},
                                    OutputFormat::Png);
    return s;
}

void AppSettings::Save() const
{
    QSettings file(FilePath(), QSettings::IniFormat);
    file.setValue("scan/device", strDevice);
    file.setValue("scan/source", nSource);
    file.setValue("scan/mode", nMode);
    file.setValue("scan/resolution", nResolution);
    static const char* const kPages[] = {"letter", "a4", "legal", "bed"};
    file.setValue("scan/page", kPages[static_cast<int>(page)]);
    file.setValue("scan/units", units == UnitChoice::Inches ? "in" : "mm");
    QStringList frames;
    for (const RECT& rc : vecFrames)
        frames << QStringLiteral("%1,%2,%3,%4").arg(rc.left).arg(rc.top).arg(rc.right).arg(rc.bottom);
    file.setValue("scan/frames", frames.join(QLatin1Char(';')));
    file.setValue("output/folder", strOutputFolder);
    file.setValue("output/format", ExtensionOf(format));
}

const std::vector<int>& OfferedResolutions()
{
    static const std::vector<int> vecOffered{75, 100, 150, 200, 300, 600, 1200};
    return vecOffered;
}

QSize PageSizeOf(PageChoice page, QSize sizeBed)
{
    switch (page) {
    case PageChoice::A4: return QSize(8268, 11693);  // 210 x 297 mm
    case PageChoice::Legal: return QSize(8500, 14000);
    case PageChoice::Bed:
        if (sizeBed.width() > 0 && sizeBed.height() > 0)
            return sizeBed.boundedTo(QSize(0xFFFF, 0xFFFF));
        return QSize(8500, 11000);
    default: return QSize(8500, 11000);
    }
}

QString FormatLength(LONG nPageUnits, UnitChoice units)
{
    if (units == UnitChoice::Inches)
        return QStringLiteral("%1 in").arg(nPageUnits / 1000.0, 0, 'f', 2);
    return QStringLiteral("%1 mm").arg(std::lround(nPageUnits * 25.4 / 1000.0));
}
