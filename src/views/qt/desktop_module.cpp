// The desktop window as a loadable module: the program opens it only when it shows the window.
#include "module_entries.h"
#include "views/qt/desktop.h"

namespace {

int RunWindow(int& argc, char** argv, zeltrak::DesktopSetup& setup) {
    if (setup.ini) zeltrak::ReadSpectrumRange(*setup.ini, setup);
    return zeltrak::RunDesktop(argc, argv, setup);
}

const zeltrak::DesktopModuleEntry kEntry{zeltrak::kModuleAbiVersion, sizeof(zeltrak::DesktopSetup),
                                         RunWindow};

}  // namespace

extern "C" __attribute__((visibility("default"))) const zeltrak::DesktopModuleEntry* zeltrak_desktop_module_entry() {
    return &kEntry;
}
