// SPDX-License-Identifier: GPL-3.0-or-later
// GDAL's driver registration and error routing.
#include "export/gdal_support.h"

#include <cpl_error.h>
#include <gdal.h>

#include <cstring>
#include <mutex>

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

void GdalErrorTrap::Record(int severity, int /*number*/, const char* text) {
    if (severity < CE_Failure) return;
    ++errors_;
    // One line: GDAL's texts may break lines and end with a line break. A few hundred bytes
    // at most: some messages quote a whole SQL script.
    constexpr std::size_t kLongest = 300;
    last_.clear();
    for (const char* c = text; c != nullptr && *c != '\0' && last_.size() < kLongest; ++c)
        last_.push_back(*c == '\n' || *c == '\r' ? ' ' : *c);
    while (!last_.empty() && last_.back() == ' ') last_.pop_back();
    if (text != nullptr && std::strlen(text) > kLongest) last_ += "...";
}

}  // namespace varistrum
