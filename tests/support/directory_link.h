#pragma once
// Links to directories as another account could plant them, for the tests
// that run under Wine and on Windows. Windows makes a junction for anyone.
// Wine 8 refuses junctions (FSCTL_SET_REPARSE_POINT gives
// ERROR_NOT_SUPPORTED) and makes no symbolic link from a Windows program
// (CreateSymbolicLinkW reports success and makes nothing), but it runs Unix
// programs: there /bin/ln makes a Unix symbolic link, which Wine lists as a
// reparse point and follows as Windows follows a junction. A Windows program
// cannot remove such a link either, and std::filesystem::remove_all follows
// it under Wine, deleting what it leads to: remove links with
// RemoveDirectoryLinksBelow before anything else cleans up.
#include <windows.h>
#include <winioctl.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/local_memory.h"
#include "common/unique_handle.h"
#include "tests/support/running_under_wine.h"

namespace velk::test_support {

// True when the path is listed as a reparse point: a junction, or under
// Wine a Unix symbolic link.
inline bool ListedAsLink(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

namespace link_detail {

// The Unix path Wine keeps `path` at; empty when there is none.
inline std::wstring UnixPath(const std::wstring& path) {
    using Convert = char*(CDECL*)(const wchar_t*);
    const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    const UniqueProcessHeapMemory<char> converted(convert != nullptr ? convert(path.c_str())
                                                                     : nullptr);
    return converted ? std::wstring(converted.Get(), converted.Get() + std::strlen(converted.Get()))
                     : L"";
}

// Runs a Unix program under Wine. Wine gives back no exit code for it, so the
// caller looks for its effect.
inline bool RunUnix(const wchar_t* program, const std::wstring& arguments) {
    std::wstring commandLine = std::wstring(program) + L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    const std::wstring image = std::wstring(L"Z:") + program;
    if (!CreateProcessW(image.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
        return false;
    }
    const ProcessHandles handles = TakeProcessHandles(info);
    WaitForSingleObject(handles.process.Get(), 10000);
    return true;
}

template <typename Condition>
bool SoonTrue(Condition condition) {
    for (int i = 0; i < 200; ++i) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

// A junction: an empty directory whose reparse data names `target`.
inline bool MakeJunction(const std::wstring& link, const std::wstring& target, DWORD& error) {
    if (!CreateDirectoryW(link.c_str(), nullptr)) {
        error = GetLastError();
        return false;
    }
    UniqueHandle directory(CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                       nullptr));
    const std::wstring substitute = L"\\??\\" + target;
    // Tag, data length, reserved; then the substitute and print names'
    // offsets and lengths; then both names, each ending in a NUL.
    const std::size_t nameBytes = (substitute.size() + 1 + target.size() + 1) * sizeof(wchar_t);
    std::vector<unsigned char> buffer(8 + 8 + nameBytes);
    auto put16 = [&buffer](std::size_t at, std::size_t value) {
        const auto word = static_cast<WORD>(value);
        std::memcpy(buffer.data() + at, &word, sizeof(word));
    };
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    std::memcpy(buffer.data(), &tag, sizeof(tag));
    put16(4, 8 + nameBytes);
    put16(8, 0);
    put16(10, substitute.size() * sizeof(wchar_t));
    put16(12, (substitute.size() + 1) * sizeof(wchar_t));
    put16(14, target.size() * sizeof(wchar_t));
    std::memcpy(buffer.data() + 16, substitute.c_str(), (substitute.size() + 1) * sizeof(wchar_t));
    std::memcpy(buffer.data() + 16 + (substitute.size() + 1) * sizeof(wchar_t), target.c_str(),
                (target.size() + 1) * sizeof(wchar_t));
    DWORD returned = 0;
    if (directory &&
        DeviceIoControl(directory.Get(), FSCTL_SET_REPARSE_POINT, buffer.data(),
                        static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr)) {
        return true;
    }
    error = GetLastError();
    directory.Reset();
    RemoveDirectoryW(link.c_str());
    return false;
}

inline std::wstring Quoted(const std::wstring& text) {
    return L"\"" + text + L"\"";
}

}  // namespace link_detail

// Makes `link` (not there yet) a link to the directory `target` (a full
// path): a junction, or under Wine a Unix symbolic link. True when the link
// is there and listed as one.
inline bool MakeDirectoryLink(const std::wstring& link, const std::wstring& target) {
    DWORD error = ERROR_SUCCESS;
    if (link_detail::MakeJunction(link, target, error)) {
        return true;
    }
    if (error != ERROR_NOT_SUPPORTED || !RunningUnderWine()) {
        return false;
    }
    const std::wstring unixLink = link_detail::UnixPath(link);
    const std::wstring unixTarget = link_detail::UnixPath(target);
    return !unixLink.empty() && !unixTarget.empty() &&
           link_detail::RunUnix(L"/bin/ln", L"-s -n -- " + link_detail::Quoted(unixTarget) + L" " +
                                                link_detail::Quoted(unixLink)) &&
           link_detail::SoonTrue([&] { return ListedAsLink(link); });
}

// Removes the link `link` itself, never what it leads to.
inline bool RemoveDirectoryLink(const std::wstring& link) {
    if (!RunningUnderWine()) {
        return RemoveDirectoryW(link.c_str()) != FALSE;
    }
    const std::wstring unixLink = link_detail::UnixPath(link);
    return !unixLink.empty() &&
           link_detail::RunUnix(L"/bin/rm", L"-f -- " + link_detail::Quoted(unixLink)) &&
           link_detail::SoonTrue(
               [&] { return GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; });
}

// Removes every directory link at or below `root` without entering any.
inline void RemoveDirectoryLinksBelow(std::wstring root) {
    while (!root.empty() && root.back() == L'\\') {
        root.pop_back();
    }
    if (ListedAsLink(root)) {
        RemoveDirectoryLink(root);
        return;
    }
    WIN32_FIND_DATAW found{};
    const HANDLE first = FindFirstFileW((root + L"\\*").c_str(), &found);
    if (first == INVALID_HANDLE_VALUE) {
        return;
    }
    const UniqueFindHandle search(first);
    std::vector<std::wstring> directories;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L".." &&
            (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            directories.push_back(root + L"\\" + name);
        }
    } while (FindNextFileW(search.Get(), &found));
    for (const std::wstring& directory : directories) {
        RemoveDirectoryLinksBelow(directory);
    }
}

}  // namespace velk::test_support
