// CRowMapper: lines of a SANE frame turned into rows of the engine's RGB image, cut to the scan
// area. Either the device delivers the area itself (it has a geometry), or it delivers the
// whole page (the pnm backend) and the mapper picks the area's pixels at the job's resolution,
// nearest neighbour.
#pragma once

#include <sane/sane.h>
#include <windef.h>

#include <vector>

#include "EngineImage.h"

class CRowMapper {
public:
    // rcArea and the page size in page units; nDpi is the resolution of the image wanted.
    CRowMapper(const SANE_Parameters& params, bool bDeviceGeometry, const RECT& rcArea, LONG nPageWidth,
               LONG nPageHeight, int nDpi);

    // False for frames the engine cannot read: three-pass colour, odd depths, lines shorter
    // than their pixels need, or a whole page of unknown height to cut an area from.
    bool Supported() const;
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }  // -1 while the device does not know it

    // One line of the frame (bytes_per_line bytes): appends the image rows it gives.
    void AddLine(const uint8_t* pLine, CEngineImage& image);
    // At the end of the frame: rows the device did not deliver repeat the last one it did.
    void Finish(CEngineImage& image);

private:
    void ToRgb(const uint8_t* pLine);
    void AppendMapped(CEngineImage& image);

    SANE_Parameters m_params;
    bool m_bDeviceGeometry;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nSourceRow = 0;
    std::vector<int> m_vecSourceX, m_vecSourceY;  // frame pixel of each image column and row
    std::vector<uint8_t> m_vecLine;               // the last line, as RGB
};
