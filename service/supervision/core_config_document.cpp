#include "service/supervision/core_config_document.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "common/wide_text.h"
#include "service/policy/core_config_policy.h"

namespace velk {
namespace {

using Json = nlohmann::json;

// Builds the document as nlohmann's own reader does, and stops it at the
// first key that repeats in its object (in the core's folding) or at a
// container too deep.
class CheckingReader {
  public:
    explicit CheckingReader(Json& document) : builder_(document, /*allow_exceptions=*/false) {}

    std::wstring problem;

    bool null() { return builder_.null(); }
    bool boolean(bool value) { return builder_.boolean(value); }
    bool number_integer(Json::number_integer_t value) { return builder_.number_integer(value); }
    bool number_unsigned(Json::number_unsigned_t value) { return builder_.number_unsigned(value); }
    bool number_float(Json::number_float_t value, const Json::string_t& text) {
        return builder_.number_float(value, text);
    }
    bool string(Json::string_t& value) { return builder_.string(value); }
    bool binary(Json::binary_t& value) { return builder_.binary(value); }
    bool start_object(std::size_t size) { return Enter() && builder_.start_object(size); }
    bool start_array(std::size_t size) { return Enter() && builder_.start_array(size); }
    bool end_object() {
        keys_.pop_back();
        return builder_.end_object();
    }
    bool end_array() {
        keys_.pop_back();
        return builder_.end_array();
    }
    bool key(Json::string_t& key) {
        if (!keys_.back().insert(FoldedKey(key)).second) {
            problem = L"the key \"" + Utf8ToWide(key) +
                      L"\" twice in one object (the core would merge them)";
            return false;
        }
        return builder_.key(key);
    }
    bool parse_error(std::size_t position, const std::string& token,
                     const nlohmann::detail::exception& error) {
        problem = L"not JSON: " + Utf8ToWide(error.what());
        return builder_.parse_error(position, token, error);
    }

  private:
    // An array's set of keys stays empty.
    bool Enter() {
        if (keys_.size() >= kMaxCoreConfigDepth) {
            problem = L"nested deeper than " +
                      ToDecimal(static_cast<std::uint32_t>(kMaxCoreConfigDepth)) + L" levels";
            return false;
        }
        keys_.emplace_back();
        return true;
    }

    nlohmann::detail::json_sax_dom_parser<Json> builder_;
    std::vector<std::set<std::string>> keys_;
};

}  // namespace

CoreConfigCopy CheckedCoreConfig(std::string bytes, const std::wstring& dataDirectory) {
    Json document;
    CheckingReader reader(document);
    const bool read = Json::sax_parse(bytes, &reader, Json::input_format_t::json,
                                      /*strict=*/true, /*ignore_comments=*/true);
    std::string().swap(bytes);  // up to 16 MiB, no longer needed
    if (!read) {
        return {{}, reader.problem.empty() ? L"not JSON" : reader.problem};
    }
    std::wstring problem = CoreDocumentProblem(document, dataDirectory);
    if (!problem.empty()) {
        return {{}, problem};
    }
    // The reader took only valid UTF-8, so nothing is replaced here; the
    // handler only keeps dump() from throwing.
    return {document.dump(-1, ' ', false, Json::error_handler_t::replace), {}};
}

}  // namespace velk
