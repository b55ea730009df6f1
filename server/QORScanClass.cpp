// The module's one class.
#include "../control/QORScan.h"

OBJECT_ENTRY_AUTO(CLSID_QORScan, CQORScan)
