// SPDX-License-Identifier: GPL-3.0-or-later
// The abstract reader's own operations.
#include "logfile/log_reader.h"

namespace varistrum {

std::int16_t LogReader::Open(const std::string& path) {
    return input_.Open(path) ? 0 : -1;
}

int LogReader::Close() {
    input_.Close();
    return 0;
}

}  // namespace varistrum
