// SPDX-License-Identifier: GPL-3.0-or-later
// One output file written under a temporary name in its folder and put in place when complete.
#pragma once

#include <sys/types.h>

#include <string>

#include "base/output_target.h"

namespace varistrum {

// A name no other writer uses, in `folder`: a short part of `name` (so that any legal name has
// one), the process, a counter and random digits, then `extension`. Hidden (a leading dot).
std::string TemporaryNameIn(const std::string& folder, const std::string& name,
                            std::string_view extension);

// The folder part of a path ("." when it has none).
std::string FolderOfPath(const std::string& path);

// Makes a folder's entries durable (after a rename into it).
void SyncFolder(const std::string& folder);

// One output file on its way into place. A regular target (or a missing one) is written under a
// temporary name in the target's folder: a file for a stream of bytes (OpenStream), or a
// private folder holding the file a library creates by name and its side files (OpenWorkFolder).
// A device or named pipe is written directly when the kind streams, without waiting for a
// reader. Nothing is ever renamed over a device, pipe, socket, link or folder, and whatever was
// made under a temporary name goes on Discard (or destruction) unless it was put in place.
class StagedFile {
  public:
    StagedFile() = default;
    ~StagedFile() { Discard(); }
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Opens a descriptor for the bytes; false with Reason() when the target is refused or
    // cannot be opened ("no process reads the named pipe").
    bool OpenStream(const OutputTarget& target, const OutputKind& kind);
    // Writes into an open descriptor of the process (standard output), which stays open.
    bool UseDescriptor(int fd);
    // Takes the bytes and keeps none (a pass whose text nobody reads).
    bool UseNowhere();
    // Makes a private folder beside the target; WorkPath() names the file to create in it.
    bool OpenWorkFolder(const OutputTarget& target, const OutputKind& kind);

    int Descriptor() const { return fd_; }
    const std::string& WorkPath() const { return work_; }
    const std::string& WorkFolder() const { return workFolder_; }
    // The file written meanwhile (the temporary file or the work file), or the target itself
    // when it is written directly.
    const std::string& WrittenPath() const { return work_.empty() ? target_.resolved : work_; }
    bool Direct() const { return direct_; }
    bool IsOpen() const { return open_; }
    const OutputTarget& Target() const { return target_; }

    // Flushes the written file to disk and closes it; false with Reason() on failure.
    bool Finish();

    // Putting in place, in this order (an output set drives these for all its files):
    // keeps an earlier version under a temporary name (a hard link, so the target is never
    // missing), ...
    bool KeepEarlier();
    // ... renames the new file over the target (its permissions kept), ...
    bool Publish();
    // ... and either forgets the earlier version or, when another file failed, puts it back
    // (a new file of a missing target is removed).
    void DropEarlier();
    void Restore();

    // Removes whatever was made under a temporary name; an earlier output stays.
    void Discard();

    // The system's reason of the first failure; empty if none.
    const std::string& Reason() const { return reason_; }
    bool Failed() const { return !reason_.empty(); }
    // Records a failure of the caller's writes (the first reason is kept).
    void Fail(int error);
    void Fail(const std::string& reason);

  private:
    bool Prepare(const OutputTarget& target, const OutputKind& kind);
    bool OpenDirect();

    OutputTarget target_;
    int fd_ = -1;
    bool ownsDescriptor_ = true;
    bool direct_ = false;
    bool open_ = false;
    bool finished_ = false;
    bool published_ = false;
    std::string work_;        // the temporary file, or the file in the work folder
    std::string workFolder_;  // empty for a temporary file
    std::string earlier_;     // the earlier version kept while a set is put in place
    bool movedAside_ = false;
    dev_t publishedDevice_ = 0;
    ino_t publishedInode_ = 0;
    std::string reason_;
};

}  // namespace varistrum
