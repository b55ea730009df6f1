// The toolbar's icons: the desktop theme's own where it has them, else drawn here in the same
// spirit (a dark line drawing on transparent ground), so that they look right without a theme.
#pragma once

#include <QIcon>

enum class IconKind {
    Preview, Scan, Cancel, AutoCrop, CropPhotos, ZoomIn, ZoomOut, RotateLeft, RotateRight,
    MirrorHorizontal, MirrorVertical, ResetOrientation, Folder, Application
};

QIcon MakeIcon(IconKind kind);
