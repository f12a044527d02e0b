// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum-cli: the headless front end.
#include <cstdio>
#include <cstdlib>

#include "cli/cli_app.h"
#include "export/gdal_support.h"

int main(int argc, char** argv) {
    const int status = varistrum::cli::Run(argc, argv);
    // Ended by a signal: at once, without waiting for an abandoned map layer's memory to be
    // freed (everything written is in place or removed by now).
    if (status > 128) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    varistrum::WaitForDroppedDatasets();
    return status;
}
