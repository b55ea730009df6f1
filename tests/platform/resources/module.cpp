// A module with resources of its own, loaded by the tests with dlopen.
extern "C" int ResourceTestModuleAnchor()
{
    return 1;
}
