#include "tools/velksetup/data_folder.h"

#include "common/win32_result.h"
#include "service/service_constants.h"
#include "service/supervision/data_folder.h"

namespace velk::setup {

SetupResult MakeDataFolder() {
    const Win32Result<OwnedDirectory> data = PrepareDataFolder(kDataDirectory);
    if (!data) {
        return SetupResult{false, data.error().code,
                           std::wstring(data.error().call) + L" failed for " + kDataDirectory};
    }
    std::wstring detail = std::wstring(L"data folder ") +
                          (data.value().made ? L"made: " : L"kept: ") + kDataDirectory;
    if (!data.value().movedAside.empty()) {
        detail += L"; what was there was not ours (" + data.value().found.Text() +
                  L") and was moved aside to " + data.value().movedAside;
    }
    return SetupResult{true, 0, detail};
}

}  // namespace velk::setup
