// The demo: one session with the scan preview control, start to finish, on the headless window
// system. Usage: qorscan-demo [--out FOLDER] [--device SANE-DEVICE]
#include <cstdio>
#include <cstring>

#include "DemoSession.h"

int main(int argc, char** argv)
{
    DemoOptions options;
    options.outputFolder = "qorscan-demo";
    options.strModulePath = QORSCAN_MODULE_PATH;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
            options.outputFolder = argv[++i];
        } else if (std::strcmp(argv[i], "--device") == 0 && i + 1 < argc) {
            options.strDevice = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--out FOLDER] [--device SANE-DEVICE]\n", argv[0]);
            return 2;
        }
    }
    options.outputFolder = std::filesystem::absolute(options.outputFolder);
    std::printf("A session with the scan preview control:\n");
    int nResult = 0;
    {
        CDemoSession session(options);
        nResult = session.Run();
        if (session.Report().StepCount() > 0)
            std::printf("\n%zu pictures and the page that shows them: %s\n", session.Report().StepCount(),
                        session.Report().PagePath().c_str());
    }
    return nResult;
}
