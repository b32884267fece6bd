// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the default STANDARD.CFG an installation ships: the built-in
// defaults, in the program's own setup format.
#include "setup/USetup.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("Usage: tavi-make-standard-setup FILE\n", stderr);
        return 2;
    }
    std::string error;
    if (!tavi::SaveSetupFile(argv[1], tavi::DefaultSetup(), &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}
