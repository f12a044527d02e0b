// SPDX-License-Identifier: GPL-3.0-or-later
// varistrum-cli: the headless front end.
#include "cli/cli_app.h"

int main(int argc, char** argv) {
    return varistrum::cli::Run(argc, argv);
}
