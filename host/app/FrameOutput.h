// Saving the scanned photos: each crop frame cut from the engine's full-resolution image of the
// final scan, turned and mirrored as the page is shown, as an image file of its own or as one
// page of a PDF with the photo's physical size.
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

#include <vector>

#include <windef.h>

struct CEngineImage;
struct ScanEngineArea;

enum class OutputFormat { Png, Jpeg, Tiff, Pdf };

struct PageOrientation {
    bool bMirrorV = false;  // top-bottom, applied first
    bool bMirrorH = false;  // left-right
    int nDegrees = 0;       // then turned clockwise: 0, 90, 180 or 270
};

// The part of the scan that a frame (page units) covers, as an image of its own with its
// resolution set; a null image when the frame lies outside the scanned area.
QImage CutFrame(const CEngineImage& image, const ScanEngineArea& area, const RECT& rcFrame);
// The image turned and mirrored as the page is shown.
QImage OrientImage(const QImage& image, const PageOrientation& orientation);

// Writes one file per frame (or one PDF with a page per frame) into strFolder, never over an
// existing file, named from strBaseName. The paths written, in frame order; *pstrError says
// what failed (the files written before the failure stay).
QStringList SaveFrames(const CEngineImage& image, const ScanEngineArea& area, const std::vector<RECT>& vecFrames,
                       const PageOrientation& orientation, OutputFormat format, const QString& strFolder,
                       const QString& strBaseName, QString* pstrError);


// "png", "jpg", "tif", "pdf".
QString ExtensionOf(OutputFormat format);
