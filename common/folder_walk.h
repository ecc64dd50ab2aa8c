#pragma once
// Whether a folder and everything in it is ours: a walk over the folder's
// tree that never follows a link and stops at a fixed depth and count. What
// each entry is comes from the platform (FolderTree); on Windows from the
// entry's own handle (disk_folder.h), in tests from a stand-in.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velk {

// What is known of one entry of the tree, or of the folder itself.
struct EntryFacts {
    bool opened = false;     // it could be opened itself, without following it
    bool link = false;       // a reparse point: junction, symbolic link, mount point
    bool elsewhere = false;  // the system resolves it to another path than the one walked
    bool directory = false;
    std::uint32_t names = 1;    // a file's names (hard links); not asked of directories
    bool trustedOwner = false;  // SYSTEM, Administrators or this process's user
};

// One name in a directory's listing.
struct ListedEntry {
    std::wstring name;
    bool listedAsLink = false;  // the listing itself shows a reparse point
};

struct EntryLook {
    EntryFacts facts;
    // For a directory without a problem of its own: the names in it, read
    // through the handle the facts came from; false when they could not be.
    bool listed = false;
    std::vector<ListedEntry> entries;
};

class FolderTree {
  public:
    virtual ~FolderTree() = default;
    // Opens the entry at `path` itself and reads its facts; for a directory
    // without a problem (EntryProblem) also lists it, up to `maxEntries`
    // names and one more, so that a walk can tell there are too many.
    virtual EntryLook Look(const std::wstring& path, std::size_t maxEntries) = 0;
};

struct FolderLimits {
    std::size_t depth = 0;    // the deepest entry checked; those right inside are at 1
    std::size_t entries = 0;  // entries checked in all, the folder itself not counted
};

// Why the folder is not ours, and the entry that showed it; an empty
// problem when it is ours.
struct FolderVerdict {
    std::wstring problem;
    std::wstring path;
    bool Ours() const { return problem.empty(); }
    // "<problem>: <path>", for logs.
    std::wstring Text() const { return problem + L": " + path; }
};

// Why an entry with these facts is not ours; empty when it is.
std::wstring EntryProblem(const EntryFacts& facts);

// Ours when `root` is a directory and it and every entry in it, at any
// depth, has no problem (EntryProblem) and no listing shows a link. A link
// is never entered. A tree deeper or bigger than `limits` is not ours: what
// was not checked cannot be trusted.
FolderVerdict CheckFolder(FolderTree& tree, const std::wstring& root, const FolderLimits& limits);

}  // namespace velk
