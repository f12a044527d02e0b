// SPDX-License-Identifier: GPL-3.0-or-later
// A step that cannot be interrupted but may be abandoned: a front end ending the process on a
// stop request removes the step's temporary folders first.
#pragma once

#include <string>
#include <vector>

namespace varistrum {

// GDAL finishing a map layer (building a spatial index) cannot be interrupted, and its result is
// thrown away when a stop was requested meanwhile. While an AbandonableStep lives, a front end
// that ends the process on a stop request (the command line) calls AbandonStepUnderWay, which
// removes the step's folders, so the process can end at once leaving nothing behind. One step
// at a time; the window never ends the process and waits for the step instead.
class AbandonableStep {
  public:
    explicit AbandonableStep(std::vector<std::string> folders);
    ~AbandonableStep();
    AbandonableStep(const AbandonableStep&) = delete;
    AbandonableStep& operator=(const AbandonableStep&) = delete;
};

// When a step is under way: removes its folders and returns true, and the step never ends (the
// caller ends the process). False when none is under way.
bool AbandonStepUnderWay();

}  // namespace varistrum
