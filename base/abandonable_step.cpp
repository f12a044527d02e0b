// SPDX-License-Identifier: GPL-3.0-or-later
// The step under way, and its abandoning.
#include "base/abandonable_step.h"

#include <filesystem>
#include <mutex>
#include <system_error>

namespace varistrum {

namespace {

std::mutex stepMutex;
const std::vector<std::string>* stepFolders = nullptr;  // of the step under way

}  // namespace

AbandonableStep::AbandonableStep(std::vector<std::string> folders) {
    std::lock_guard lock(stepMutex);
    stepFolders = new std::vector<std::string>(std::move(folders));
}

AbandonableStep::~AbandonableStep() {
    std::lock_guard lock(stepMutex);
    delete stepFolders;
    stepFolders = nullptr;
}

bool AbandonStepUnderWay() {
    // Taken and never given back when a step is under way: the step cannot end (and go on to
    // put its files in place) while the process ends.
    stepMutex.lock();
    if (stepFolders == nullptr) {
        stepMutex.unlock();
        return false;
    }
    for (const std::string& folder : *stepFolders) {
        std::error_code error;
        if (!folder.empty()) std::filesystem::remove_all(folder, error);
    }
    return true;
}

}  // namespace varistrum
