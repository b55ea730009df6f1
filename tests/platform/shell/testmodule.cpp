// A module for the module tests: one export of its own and its view of itself.
#include <winbase.h>

extern "C" int QorTestModuleAnswer()
{
    return 42;
}

extern "C" HMODULE QorTestModuleThisComponent()
{
    return HINST_THISCOMPONENT;
}
