// The suite's registered window messages. The module registers them when it is loaded; the
// numbers stay valid for as long as the window system runs. Of these the control uses only
// "GetCrop for QOR"; the others belong to the suite's other windows.
#include "QORScan.h"

UINT g_uMsgGetCrop = RegisterWindowMessageW(QORSCAN_MSG_GETCROP);

namespace {

UINT g_uMsgFontsChange = RegisterWindowMessageA("QOR Fonts Change");
UINT g_uMsgScaleChange = RegisterWindowMessageA("QOR Scale Change");
UINT g_uMsgGetCaps = RegisterWindowMessageW(OLESTR("GetCaps for QOREngine"));
UINT g_uMsgOcrProgress = RegisterWindowMessageW(OLESTR("OCR progress for QOR"));
UINT g_uMsgHomeScreen = RegisterWindowMessageW(OLESTR("QOR to Home Screen"));
UINT g_uMsgOcrDone = RegisterWindowMessageW(OLESTR("QOR OCR is done"));
UINT g_uMsgUpdateUI = RegisterWindowMessageW(OLESTR("QOR Update UI for QOREdit.dll"));
UINT g_uMsgFileSystemNotify = RegisterWindowMessageW(OLESTR("File system notify messages"));

}  // namespace
