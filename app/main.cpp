// quillon-installer: the online installer of Quillon助手.
#include "app/installer_main.h"

int main(int argc, char** argv) { return app::InstallerMain(argc, argv); }
