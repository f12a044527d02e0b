// SPDX-License-Identifier: GPL-3.0-or-later
// Converting the files of a folder job several at a time, each with its own reader.
#pragma once

#include <stop_token>

#include "convert/convert_job.h"
#include "convert/folder_files.h"

namespace varistrum {

// Like RunConversionJob of a folder, with `jobs` files at once. Each worker has its own reader
// and averaging engine, set up like `prototype` (typed frequencies); each file is identified on
// its own. After a failure the files being converted finish and no other file starts; the
// first failing file in list order is the one reported.
JobOutcome RunParallelConversion(const TavrelReader& prototype, int inputFormat,
                                 const FileLists& files, const ConversionSettings& settings,
                                 JobObserver& observer, int jobs, std::stop_token stop);

}  // namespace varistrum
