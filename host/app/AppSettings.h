// CAppSettings: what the application keeps across runs, in one INI file.
//
// The file is $XDG_CONFIG_HOME/qorscan/qorscan.ini (~/.config/qorscan/qorscan.ini), or the path
// in QORSCAN_CONFIG. Keys, all under [scan] except the output:
//   device       SANE device name; empty for the built-in scene
//   source       "scan.sour": 1 flatbed, 2 document feeder, 3 feeder both sides
//   mode         "scan.type": 2 colour, 1 grey, 0 black and white
//   resolution   "scan.reso", dots per inch
//   page         letter | a4 | legal | bed
//   units        mm | in (how frame sizes are shown)
//   frames       the last frames, "left,top,right,bottom" in thousandths of an inch, ";" between
//   [output] folder, format (png | jpg | tif | pdf)
// A value that is missing or not one of these falls back to its default.
#pragma once

#include <QSize>
#include <QString>

#include <vector>

#include <windef.h>

#include "FrameOutput.h"

enum class PageChoice { Letter, A4, Legal, Bed };
enum class UnitChoice { Millimetres, Inches };

struct AppSettings {
    QString strDevice;
    int nSource = 1;
    int nMode = 2;
    int nResolution = 300;
    PageChoice page = PageChoice::Letter;
    UnitChoice units = UnitChoice::Millimetres;
    std::vector<RECT> vecFrames;
    QString strOutputFolder;
    OutputFormat format = OutputFormat::Png;

    static QString FilePath();
    static AppSettings Load();
    void Save() const;
};

// The resolutions offered, dots per inch.
const std::vector<int>& OfferedResolutions();
// The page size of a choice in page units (thousandths of an inch); Bed takes the device's bed.
QSize PageSizeOf(PageChoice page, QSize sizeBed);
// A length in page units for people: "152 mm" or "6.00 in".
QString FormatLength(LONG nPageUnits, UnitChoice units);
