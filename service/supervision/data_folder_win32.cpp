#include "service/supervision/data_folder.h"

namespace velk {

Win32Result<OwnedDirectory> PrepareDataFolder(const std::wstring& path) {
    OwnedDirectoryRequest request;
    request.path = path;
    request.sddl = kDataDirectorySddl;
    request.limits.depth = kDataFolderMaxDepth;
    request.limits.entries = kDataFolderMaxEntries;
    return PrepareOwnedDirectory(request);
}

}  // namespace velk
