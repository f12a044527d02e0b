// SPDX-License-Identifier: GPL-3.0-or-later
// What every use of GDAL needs: its drivers registered once, and its errors in our messages.
#pragma once

#include <cpl_port.h>

#include <string>

class GDALDataset;

namespace varistrum {

// Registers GDAL's drivers; later calls do nothing.
void RegisterGdalDrivers();

// Drops an abandoned dataset (its files already removed; the call takes it over) on a thread of
// its own: freeing a large one takes a while (a KML's document of 100,000 placemarks, over a
// second), and a cancel must not wait for it. Its layers are deleted first, so that closing
// writes nothing.
void DropInBackground(GDALDataset* dataset);
// Waits until every dataset handed to DropInBackground is gone (before the program ends
// normally, so that no thread uses GDAL while the libraries shut down).
void WaitForDroppedDatasets();

// While it lives, GDAL's errors raised on this thread are kept here instead of being printed;
// warnings and debug messages are dropped. Create and destroy it on the same thread. Once GDAL
// ran out of memory, LastError() stays kNotEnoughMemory: ThrowIfOutOfMemory turns it into the
// std::bad_alloc that ends the job as an allocation failure of ours does.
class GdalErrorTrap {
  public:
    GdalErrorTrap();
    ~GdalErrorTrap();
    GdalErrorTrap(const GdalErrorTrap&) = delete;
    GdalErrorTrap& operator=(const GdalErrorTrap&) = delete;

    int Errors() const { return errors_; }
    // GDAL's text of the last error; empty if none.
    const std::string& LastError() const { return last_; }
    bool OutOfMemory() const { return outOfMemory_; }

    // Called by GDAL's error handler.
    void Record(int severity, int number, const char* text);

  private:
    int errors_ = 0;
    bool outOfMemory_ = false;
    std::string last_;
};

// Throws std::bad_alloc when a failure's message is GDAL's running out of memory.
void ThrowIfOutOfMemory(const std::string& error);

// GDAL's block cache held at most `bytes` while it lives (the size before is restored), for work
// whose blocks pass through the cache once and need not stay.
class GdalCacheLimit {
  public:
    explicit GdalCacheLimit(GIntBig bytes);
    ~GdalCacheLimit();
    GdalCacheLimit(const GdalCacheLimit&) = delete;
    GdalCacheLimit& operator=(const GdalCacheLimit&) = delete;

  private:
    GIntBig saved_;
};

}  // namespace varistrum
