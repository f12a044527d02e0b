// SPDX-License-Identifier: GPL-3.0-or-later
// An output's files: one check before writing, one commit after.
#include "base/output_set.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <set>
#include <system_error>

namespace varistrum {

std::size_t OutputSet::Add(const std::string& path, const OutputKind& kind, Naming naming) {
    auto member = std::make_unique<Member>();
    member->path = path;
    member->kind = &kind;
    member->naming = naming;
    member->target = ClassifyTarget(path);
    members_.push_back(std::move(member));
    return members_.size() - 1;
}

std::vector<std::string> OutputSet::Paths() const {
    std::vector<std::string> paths;
    for (const auto& member : members_) paths.push_back(member->path);
    return paths;
}

std::optional<OutputRefusal> OutputSet::Check() const {
    std::set<std::string> resolved;
    std::set<std::pair<dev_t, ino_t>> files;
    for (const auto& member : members_) {
        const OutputTarget& target = member->target;
        if (std::string refusal = TargetRefusal(target, *member->kind); !refusal.empty())
            return OutputRefusal{refusal + ".", member->path};
        if (member->naming == Naming::Derived && target.resolved != member->path) {
            return OutputRefusal{"'" + member->path + "' is a symbolic link; " +
                                     std::string(member->kind->what) +
                                     " named after an output is not written through one.",
                                 member->path};
        }
        // Caught before anything is written, not at the rename.
        const std::size_t slash = target.resolved.find_last_of('/');
        if (target.resolved.size() - (slash == std::string::npos ? 0 : slash + 1) > NAME_MAX) {
            return OutputRefusal{
                "'" + member->path + "': " + std::generic_category().message(ENAMETOOLONG) + ".",
                member->path};
        }
        // Files put in place together cannot include one that takes its bytes as they come.
        if (members_.size() > 1 && target.TakesStream()) {
            return OutputRefusal{"'" + member->path + "' is not a regular file; " +
                                     std::string(member->kind->what) +
                                     " written with other files needs one.",
                                 member->path};
        }
        struct stat info {};
        const bool exists = ::stat(target.resolved.c_str(), &info) == 0;
        if (!resolved.insert(target.resolved).second ||
            (exists && !files.insert({info.st_dev, info.st_ino}).second)) {
            return OutputRefusal{"'" + member->path + "' is written twice by one output.",
                                 member->path};
        }
    }
    return std::nullopt;
}

bool OutputSet::Failure(const Member& member, const std::string& reason) {
    if (failedPath_.empty() && failureReason_.empty()) {
        failedPath_ = member.path;
        failureReason_ = reason;
    }
    return false;
}

OutputFile* OutputSet::Stream(std::size_t index) {
    Member& member = *members_[index];
    member.work.reset();
    member.stream = std::make_unique<OutputFile>();
    if (member.stream->Create(member.target, *member.kind)) return member.stream.get();
    Failure(member, member.stream->FailureReason());
    member.stream.reset();
    return nullptr;
}

StagedFile* OutputSet::WorkFile(std::size_t index) {
    Member& member = *members_[index];
    member.stream.reset();
    member.work = std::make_unique<StagedFile>();
    if (member.work->OpenWorkFolder(member.target, *member.kind)) return member.work.get();
    Failure(member, member.work->Reason());
    member.work.reset();
    return nullptr;
}

bool OutputSet::Commit() {
    std::vector<Member*> opened;
    for (const auto& member : members_) {
        if (member->Staged() == nullptr) continue;
        const bool finished = member->stream ? member->stream->Finish() : member->work->Finish();
        if (!finished) {
            Failure(*member, member->Staged()->Reason());
            Discard();
            return false;
        }
        opened.push_back(member.get());
    }
    // One file replaces its earlier version in one rename; several keep theirs until all are in
    // place.
    if (opened.size() > 1) {
        for (Member* member : opened) member->Staged()->KeepEarlier();
    }
    for (std::size_t i = 0; i < opened.size(); ++i) {
        if (opened[i]->Staged()->Publish()) continue;
        Failure(*opened[i], opened[i]->Staged()->Reason());
        for (std::size_t j = i; j-- > 0;) opened[j]->Staged()->Restore();
        for (Member* member : opened) member->Staged()->DropEarlier();
        Discard();
        return false;
    }
    std::set<std::string> folders;
    for (Member* member : opened) {
        member->Staged()->DropEarlier();
        if (!member->Staged()->Direct())
            folders.insert(FolderOfPath(member->Staged()->Target().resolved));
    }
    for (const std::string& folder : folders) SyncFolder(folder);
    Discard();
    return true;
}

void OutputSet::Discard() {
    for (const auto& member : members_) {
        member->stream.reset();
        member->work.reset();
    }
}

}  // namespace varistrum
