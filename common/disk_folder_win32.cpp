#include "common/disk_folder.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/trusted_path.h"
#include "common/unique_handle.h"

namespace velk {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The entry itself, whatever it is: a link is opened rather than followed,
// and a directory can be opened at all.
constexpr DWORD kOpenItself = FILE_FLAG_BACKUP_SEMANTICS | kOpenLinkItself;
// A listing is read in chunks of this size, many names each.
constexpr std::size_t kListingChunkBytes = 64 * 1024;

// The names in the directory behind `entry`, up to `maxEntries` and one more.
bool ListDirectory(HANDLE entry, std::size_t maxEntries, std::vector<ListedEntry>& entries) {
    // A second handle to the same directory, not to its path, so that the
    // names are those of the directory whose facts were read. Listing access
    // only now: asked of every entry, it would clash with a file's sharing.
    UniqueHandle directory(
        ReOpenFile(entry, FILE_LIST_DIRECTORY | SYNCHRONIZE, kShareAll, kOpenItself));
    if (!directory) {
        return false;
    }
    std::vector<std::uint64_t> chunk(kListingChunkBytes / sizeof(std::uint64_t));
    FILE_INFO_BY_HANDLE_CLASS request = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(directory.Get(), request, chunk.data(),
                                        static_cast<DWORD>(kListingChunkBytes))) {
        request = FileIdBothDirectoryInfo;
        const auto* at = reinterpret_cast<const unsigned char*>(chunk.data());
        for (;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") {
                entries.push_back(
                    {std::move(name), (info->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
                if (entries.size() > maxEntries) {
                    return true;
                }
            }
            if (info->NextEntryOffset == 0) {
                break;
            }
            at += info->NextEntryOffset;
        }
    }
    const DWORD end = GetLastError();
    return end == ERROR_NO_MORE_FILES || end == ERROR_FILE_NOT_FOUND;
}

class DiskFolderTree final : public FolderTree {
  public:
    EntryLook Look(const std::wstring& path, std::size_t maxEntries) override {
        EntryLook look;
        // READ_CONTROL and attributes only: no sharing mode keeps them out.
        UniqueHandle entry(CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES, kShareAll,
                                       nullptr, OPEN_EXISTING, kOpenItself, nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!entry || !GetFileInformationByHandle(entry.Get(), &info)) {
            return look;
        }
        EntryFacts& facts = look.facts;
        facts.opened = true;
        // Wine shows a Unix symbolic link as a reparse point by its path and
        // in listings, never through its handle.
        const DWORD byPath = GetFileAttributesW(path.c_str());
        const bool linkByPath =
            byPath != INVALID_FILE_ATTRIBUTES && (byPath & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        facts.link = linkByPath || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        facts.directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        facts.names = info.nNumberOfLinks;
        facts.elsewhere = !IsAtPath(entry.Get(), path);
        facts.trustedOwner = IsTrustedOwner(entry.Get());
        if (facts.directory && EntryProblem(facts).empty()) {
            look.listed = ListDirectory(entry.Get(), maxEntries, look.entries);
        }
        return look;
    }
};

}  // namespace

FolderVerdict CheckFolderOnDisk(const std::wstring& root, const FolderLimits& limits) {
    DiskFolderTree tree;
    return CheckFolder(tree, root, limits);
}

}  // namespace velk
