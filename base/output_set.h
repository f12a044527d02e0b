// SPDX-License-Identifier: GPL-3.0-or-later
// The files one output makes, checked together before anything is written and put in place
// together once all of them are complete.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/output_file.h"
#include "base/output_target.h"
#include "base/staged_file.h"

namespace varistrum {

// Why an output cannot be written, said before anything is: the whole message ("'/dev/null' is
// not a regular file; a GeoPackage needs one") and the file concerned.
struct OutputRefusal {
    std::string message;
    std::string path;
};

// A map layer with its route file and provenance record, a picture, a saved report: every file
// of one output is registered first (Add), the set is checked (Check: each target suits its
// kind, no two files are one), then each file is opened as a stream (Stream) or as a work file
// for a library that writes by name (WorkFile). Commit puts every opened file in place once
// all are complete; when one cannot be, the earlier versions of all stay. A file that was
// registered but never opened (a record not written after a cancel) is left as it was.
// Destroying an uncommitted set removes everything written under temporary names.
class OutputSet {
  public:
    OutputSet() = default;
    ~OutputSet() { Discard(); }
    OutputSet(const OutputSet&) = delete;
    OutputSet& operator=(const OutputSet&) = delete;

    // How a file of the set got its name: named by the user (a link there is followed, its
    // target gets the file), or derived from such a name (a route file, a provenance record:
    // a link there is refused, since it would lead to a file nobody named).
    enum class Naming { Named, Derived };

    // Registers a file of the output; returns its index. Its links are followed now.
    std::size_t Add(const std::string& path, const OutputKind& kind, Naming naming = Naming::Named);
    std::size_t Size() const { return members_.size(); }
    const std::string& PathOf(std::size_t index) const { return members_[index]->path; }
    const OutputTarget& TargetOf(std::size_t index) const { return members_[index]->target; }
    std::vector<std::string> Paths() const;

    // The refusal of the set, or nullopt when every file may be written.
    std::optional<OutputRefusal> Check() const;

    // Opens the file as a buffered stream of bytes; nullptr (see FailedPath, FailureReason)
    // when it cannot be opened.
    OutputFile* Stream(std::size_t index);
    // Opens a private work folder for the file; nullptr when it cannot be made.
    StagedFile* WorkFile(std::size_t index);

    // Finishes every opened file and puts them in place together; false when one failed, and
    // then nothing of this output replaced anything.
    bool Commit();
    // Removes everything written under temporary names; the earlier files stay.
    void Discard();

    // The file whose failure ended the set and the system's reason.
    const std::string& FailedPath() const { return failedPath_; }
    const std::string& FailureReason() const { return failureReason_; }

  private:
    struct Member {
        std::string path;
        const OutputKind* kind;
        Naming naming;
        OutputTarget target;
        std::unique_ptr<OutputFile> stream;
        std::unique_ptr<StagedFile> work;
        StagedFile* Staged() { return stream ? &stream->Staged() : work.get(); }
    };
    bool Failure(const Member& member, const std::string& reason);

    std::vector<std::unique_ptr<Member>> members_;
    std::string failedPath_, failureReason_;
};

}  // namespace varistrum
