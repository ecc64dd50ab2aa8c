// The configuration check on bytes of any shape. Properties: a refused
// configuration gives no copy and a reason; an accepted one gives a copy that
// is plain JSON (no comments needed to read it) and that the check accepts
// again, unchanged: what the core reads is the document that was checked.
#include <cstddef>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "service/supervision/core_config_document.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

constexpr wchar_t kData[] = L"C:\\ProgramData\\VELK-VPN";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using velk::fuzz::Require;
    const velk::CoreConfigCopy copy = velk::CheckedCoreConfig(velk::fuzz::Bytes(data, size), kData);
    if (!copy.problem.empty()) {
        Require(copy.text.empty(), "a refused configuration has no copy");
        return 0;
    }
    Require(nlohmann::json::accept(copy.text, /*ignore_comments=*/false), "the copy is plain JSON");
    const velk::CoreConfigCopy again = velk::CheckedCoreConfig(copy.text, kData);
    Require(again.problem.empty(), "the copy is accepted again");
    Require(again.text == copy.text, "the copy checks to itself");
    return 0;
}
