// SPDX-License-Identifier: GPL-3.0-or-later
// GDAL's driver registration and error routing.
#include "export/gdal_support.h"

#include <cpl_error.h>
#include <gdal.h>
#include <gdal_priv.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include "base/resource_error.h"

namespace varistrum {

void RegisterGdalDrivers() {
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
}

namespace {

std::mutex droppingMutex;
std::condition_variable droppingDone;
int dropping = 0;  // datasets still being dropped

void CPL_STDCALL TrapHandler(CPLErr severity, CPLErrorNum number, const char* text) {
    auto* trap = static_cast<GdalErrorTrap*>(CPLGetErrorHandlerUserData());
    if (trap != nullptr) trap->Record(static_cast<int>(severity), number, text);
}

}  // namespace

void DropInBackground(GDALDataset* taken) {
    GDALDatasetUniquePtr dataset(taken);
    if (!dataset) return;
    {
        std::lock_guard lock(droppingMutex);
        ++dropping;
    }
    std::thread([dataset = std::move(dataset)]() mutable {
        CPLPushErrorHandler(CPLQuietErrorHandler);  // its files are gone: writes fail quietly
        dataset->MarkSuppressOnClose();
        for (int layer = dataset->GetLayerCount() - 1; layer >= 0; --layer)
            dataset->DeleteLayer(layer);
        dataset.reset();
        CPLPopErrorHandler();
        std::lock_guard lock(droppingMutex);
        --dropping;
        droppingDone.notify_all();
    }).detach();
}

void WaitForDroppedDatasets() {
    std::unique_lock lock(droppingMutex);
    droppingDone.wait(lock, [] { return dropping == 0; });
}

GdalErrorTrap::GdalErrorTrap() {
    CPLPushErrorHandlerEx(TrapHandler, this);
}

GdalErrorTrap::~GdalErrorTrap() {
    CPLPopErrorHandler();
}

void GdalErrorTrap::Record(int severity, int number, const char* text) {
    if (severity < CE_Failure) return;
    ++errors_;
    if (number == CPLE_OutOfMemory) outOfMemory_ = true;
    // No later message hides it: whatever failed next failed for want of memory.
    if (outOfMemory_) {
        last_ = kNotEnoughMemory;
        return;
    }
    // One line: GDAL's texts may break lines and end with a line break. A few hundred bytes
    // at most: some messages quote a whole SQL script.
    constexpr std::size_t kLongest = 300;
    last_.clear();
    for (const char* c = text; c != nullptr && *c != '\0' && last_.size() < kLongest; ++c)
        last_.push_back(*c == '\n' || *c == '\r' ? ' ' : *c);
    while (!last_.empty() && last_.back() == ' ') last_.pop_back();
    if (text != nullptr && std::strlen(text) > kLongest) last_ += "...";
}

void ThrowIfOutOfMemory(const std::string& error) {
    if (error == kNotEnoughMemory) throw std::bad_alloc();
}

GdalCacheLimit::GdalCacheLimit(GIntBig bytes) : saved_(GDALGetCacheMax64()) {
    if (saved_ > bytes) GDALSetCacheMax64(bytes);
}

GdalCacheLimit::~GdalCacheLimit() {
    GDALSetCacheMax64(saved_);
}

}  // namespace varistrum
