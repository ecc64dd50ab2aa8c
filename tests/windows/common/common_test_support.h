#pragma once
// A private temporary directory and the Unix link fixture of the common tests.
#include <windows.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_directory.h"
#include "tests/support/win_files.h"

namespace velk::testing {

// A name in the folder where the build made Unix symbolic links:
//   directory-link -> real,
//   check-link.log -> real/check-target.log,
//   append-link.log -> real/append-target.log
inline std::wstring LinkFixture(const std::wstring& name) {
    return test_support::WindowsPath(VELK_LINK_FIXTURE_DIR) + name;
}

}  // namespace velk::testing
