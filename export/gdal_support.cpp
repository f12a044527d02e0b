// SPDX-License-Identifier: GPL-3.0-or-later
// GDAL's driver registration and error routing.
#include "export/gdal_support.h"

#include <cpl_error.h>
#include <gdal.h>

#include <mutex>
#include <new>

#include "base/resource_error.h"

namespace varistrum {

void RegisterGdalDrivers() {
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
}

namespace {

void CPL_STDCALL TrapHandler(CPLErr severity, CPLErrorNum number, const char* text) {
    auto* trap = static_cast<GdalErrorTrap*>(CPLGetErrorHandlerUserData());
    if (trap != nullptr) trap->Record(static_cast<int>(severity), number, text);
}

}  // namespace

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
    // One line: GDAL's texts may break lines and end with a line break.
    last_.clear();
    for (const char* c = text; c != nullptr && *c != '\0'; ++c)
        last_.push_back(*c == '\n' || *c == '\r' ? ' ' : *c);
    while (!last_.empty() && last_.back() == ' ') last_.pop_back();
}

void ThrowIfOutOfMemory(const std::string& error) {
    if (error == kNotEnoughMemory) throw std::bad_alloc();
}

}  // namespace varistrum
