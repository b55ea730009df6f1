#include "FrameOutput.h"

#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTransform>

#include <cmath>
#include <cstring>
#include <memory>

#include <EngineImage.h>
#include <ScanEngine.h>

namespace {

constexpr double kMmPerInch = 25.4;
constexpr int kJpegQuality = 92;

// A page-unit coordinate as a pixel of the scan, whose first pixel lies at dStartMm.
int ToScanPixel(LONG nPageUnits, double dStartMm, int nDpi)
{
    return static_cast<int>(std::lround((nPageUnits / 1000.0 - dStartMm / kMmPerInch) * nDpi));
}

// Opens a new file for writing; the name is strBaseName, then strBaseName-2, -3, ... until one
// does not exist. NewOnly makes the check and the creation one step, so no file is overwritten.
std::unique_ptr<QFile> CreateNewFile(const QString& strFolder, const QString& strBaseName, const QString& strExtension)
{
    for (int n = 1; n < 10000; ++n) {
        const QString strName = n == 1 ? strBaseName : QStringLiteral("%1-%2").arg(strBaseName).arg(n);
        auto pFile = std::make_unique<QFile>(QDir(strFolder).filePath(strName + QLatin1Char('.') + strExtension));
        if (pFile->open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return pFile;
        if (pFile->exists())
            continue;
        return nullptr;  // the folder cannot be written
    }
    return nullptr;
}

const char* WriterFormat(OutputFormat format)
{
    switch (format) {
    case OutputFormat::Jpeg: return "jpeg";
    case OutputFormat::Tiff: return "tiff";
    default: return "png";
    }
}

QStringList SavePdf(const std::vector<QImage>& vecImages, const QString& strFolder, const QString& strBaseName,
                    int nDpi, QString* pstrError)
{
    std::unique_ptr<QFile> pFile = CreateNewFile(strFolder, strBaseName, ExtensionOf(OutputFormat::Pdf));
    if (pFile == nullptr) {
        *pstrError = QStringLiteral("Cannot create a file in %1.").arg(strFolder);
        return {};
    }
    QPdfWriter writer(pFile.get());
    writer.setResolution(nDpi);
    writer.setCreator(QStringLiteral("QORScan"));
    QPainter painter;
    for (size_t i = 0; i < vecImages.size(); ++i) {
        const QImage& image = vecImages[i];
        // The page is the photo: its size in millimetres at the scan's resolution, no margins.
        const QSizeF sizeMm(image.width() * kMmPerInch / nDpi, image.height() * kMmPerInch / nDpi);
        writer.setPageSize(QPageSize(sizeMm, QPageSize::Millimeter, QString(), QPageSize::ExactMatch));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        if (i == 0 ? !painter.begin(&writer) : !writer.newPage()) {
            *pstrError = QStringLiteral("Cannot write %1.").arg(pFile->fileName());
            return {};
        }
        painter.drawImage(QRect(0, 0, image.width(), image.height()), image);
    }
    painter.end();
    return {pFile->fileName()};
}

}  // namespace

QString ExtensionOf(OutputFormat format)
{
    switch (format) {
    case OutputFormat::Jpeg: return QStringLiteral("jpg");
    case OutputFormat::Tiff: return QStringLiteral("tif");
    case OutputFormat::Pdf: return QStringLiteral("pdf");
    default: return QStringLiteral("png");
    }
}

QImage CutFrame(const CEngineImage& image, const ScanEngineArea& area, const RECT& rcFrame)
{
    if (area.nDpi <= 0 || image.nWidth <= 0 || image.nHeight <= 0 ||
        image.vecRgb.size() < static_cast<size_t>(image.nWidth) * image.nHeight * 3)
        return QImage();
    const int nLeft = std::max(0, ToScanPixel(rcFrame.left, area.fLeftMm, area.nDpi));
    const int nTop = std::max(0, ToScanPixel(rcFrame.top, area.fTopMm, area.nDpi));
    const int nRight = std::min(image.nWidth, ToScanPixel(rcFrame.right, area.fLeftMm, area.nDpi));
    const int nBottom = std::min(image.nHeight, ToScanPixel(rcFrame.bottom, area.fTopMm, area.nDpi));
    if (nRight <= nLeft || nBottom <= nTop)
        return QImage();
    QImage cut(nRight - nLeft, nBottom - nTop, QImage::Format_RGB888);
    if (cut.isNull())
        return QImage();
    for (int y = nTop; y < nBottom; ++y)
        std::memcpy(cut.scanLine(y - nTop), image.Row(y) + static_cast<size_t>(nLeft) * 3,
                    static_cast<size_t>(cut.width()) * 3);
    const int nDotsPerMetre = static_cast<int>(std::lround(area.nDpi / 0.0254));
    cut.setDotsPerMeterX(nDotsPerMetre);
    cut.setDotsPerMeterY(nDotsPerMetre);
    return cut;
}

QImage OrientImage(const QImage& image, const PageOrientation& orientation)
{
    QImage oriented = image;
    if (orientation.bMirrorV || orientation.bMirrorH)
        oriented = oriented.mirrored(orientation.bMirrorH, orientation.bMirrorV);
    if (orientation.nDegrees % 360 != 0)
        oriented = oriented.transformed(QTransform().rotate(orientation.nDegrees));
    oriented.setDotsPerMeterX(image.dotsPerMeterX());
    oriented.setDotsPerMeterY(image.dotsPerMeterY());
    return oriented;
}

QStringList SaveFrames(const CEngineImage& image, const ScanEngineArea& area, const std::vector<RECT>& vecFrames,
                       const PageOrientation& orientation, OutputFormat format, const QString& strFolder,
                       const QString& strBaseName, QString* pstrError)
{
    if (!QDir().mkpath(strFolder)) {
        *pstrError = QStringLiteral("Cannot create the folder %1.").arg(strFolder);
        return {};
    }
    std::vector<QImage> vecImages;
    for (const RECT& rcFrame : vecFrames) {
        const QImage cut = CutFrame(image, area, rcFrame);
        if (!cut.isNull())
            vecImages.push_back(OrientImage(cut, orientation));
    }
    if (vecImages.empty()) {
        *pstrError = QStringLiteral("No frame lies inside the scanned area.");
        return {};
    }
    if (format == OutputFormat::Pdf)
        return SavePdf(vecImages, strFolder, strBaseName, area.nDpi, pstrError);
    QStringList paths;
    for (size_t i = 0; i < vecImages.size(); ++i) {
        const QString strName =
            vecImages.size() == 1 ? strBaseName : QStringLiteral("%1-photo%2").arg(strBaseName).arg(i + 1);
        std::unique_ptr<QFile> pFile = CreateNewFile(strFolder, strName, ExtensionOf(format));
        QImageWriter writer;
        if (pFile != nullptr) {
            writer.setDevice(pFile.get());
            writer.setFormat(WriterFormat(format));
            if (format == OutputFormat::Jpeg)
                writer.setQuality(kJpegQuality);
        }
        if (pFile == nullptr || !writer.write(vecImages[i])) {
            *pstrError = pFile == nullptr ? QStringLiteral("Cannot create a file in %1.").arg(strFolder)
                                          : QStringLiteral("Cannot write %1: %2.").arg(pFile->fileName(), writer.errorString());
            if (pFile != nullptr)
                pFile->remove();
            return paths;
        }
        paths << pFile->fileName();
    }
    return paths;
}
