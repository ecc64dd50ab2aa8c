#include "service/supervision/core_log_settings.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>
#include <vector>

#include "common/wide_text.h"
#include "service/supervision/config_path_rules.h"

namespace velk {
namespace {

// The core disables a log whose name is exactly this.
constexpr wchar_t kNoLog[] = L"none";

bool SameAsciiFolded(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](wchar_t c) {
            return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// True when the core's decoder takes the UTF-8 `key` for the field `name`
// (lower-case ASCII): it folds case the Unicode way, where the long s (U+017F)
// is an "s" and the Kelvin sign (U+212A) a "k".
bool KeyMatches(const std::string& key, const char* name) {
    std::size_t at = 0;
    for (const char* n = name; *n != '\0'; ++n) {
        if (at >= key.size()) {
            return false;
        }
        const auto byte = static_cast<unsigned char>(key[at]);
        char folded = 0;
        if (byte < 0x80) {
            folded = (byte >= 'A' && byte <= 'Z') ? static_cast<char>(byte - 'A' + 'a')
                                                  : static_cast<char>(byte);
            at += 1;
        } else if (key.compare(at, 2, "\xC5\xBF") == 0) {
            folded = 's';
            at += 2;
        } else if (key.compare(at, 3, "\xE2\x84\xAA") == 0) {
            folded = 'k';
            at += 3;
        } else {
            return false;
        }
        if (folded != *n) {
            return false;
        }
    }
    return at == key.size();
}

// Reads the log settings while the parser walks the text, without building
// the whole document: a configuration may run to megabytes.
class LogSettingsReader {
  public:
    enum class Field { kNone, kLog, kAccess, kError };
    struct LogName {
        std::string value;
        bool present = false;
    };

    LogName access;
    LogName error;
    std::wstring problem;

    bool null() { return Value(Kind::kNull); }
    bool boolean(bool) { return Value(Kind::kOther); }
    bool number_integer(nlohmann::json::number_integer_t) { return Value(Kind::kOther); }
    bool number_unsigned(nlohmann::json::number_unsigned_t) { return Value(Kind::kOther); }
    bool number_float(nlohmann::json::number_float_t, const std::string&) {
        return Value(Kind::kOther);
    }
    bool binary(nlohmann::json::binary_t&) { return Value(Kind::kOther); }
    bool string(std::string& text) {
        if (pending_ == Field::kAccess || pending_ == Field::kError) {
            LogName& name = pending_ == Field::kAccess ? access : error;
            name.value = text;
            name.present = true;
        }
        return Value(Kind::kString);
    }
    bool start_object(std::size_t) {
        const Frame frame = frames_.empty()           ? Frame::kRoot
                            : pending_ == Field::kLog ? Frame::kLog
                                                      : Frame::kOther;
        if (!Value(Kind::kObject)) {
            return false;
        }
        frames_.push_back(frame);
        return true;
    }
    bool start_array(std::size_t) {
        if (!Value(Kind::kOther)) {
            return false;
        }
        frames_.push_back(Frame::kOther);
        return true;
    }
    bool end_object() { return Pop(); }
    bool end_array() { return Pop(); }
    bool key(std::string& key) {
        pending_ = Field::kNone;
        if (frames_.back() == Frame::kRoot && KeyMatches(key, "log")) {
            pending_ = Field::kLog;
            return Count(logKeys_, L"more than one \"log\" object");
        }
        if (frames_.back() == Frame::kLog && KeyMatches(key, "access")) {
            pending_ = Field::kAccess;
            return Count(accessKeys_, L"more than one \"access\" log");
        }
        if (frames_.back() == Frame::kLog && KeyMatches(key, "error")) {
            pending_ = Field::kError;
            return Count(errorKeys_, L"more than one \"error\" log");
        }
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) {
        problem = L"not JSON: " + Utf8ToWide(e.what());
        return false;
    }

  private:
    enum class Frame { kRoot, kLog, kOther };
    enum class Kind { kNull, kString, kObject, kOther };

    bool Value(Kind kind) {
        const Field field = pending_;
        pending_ = Field::kNone;
        if (frames_.empty() && kind != Kind::kObject) {
            return Refuse(L"not a JSON object");
        }
        if (field == Field::kLog && kind != Kind::kObject && kind != Kind::kNull) {
            return Refuse(L"\"log\" is not an object");
        }
        if ((field == Field::kAccess || field == Field::kError) && kind != Kind::kString &&
            kind != Kind::kNull) {
            return Refuse(L"a log name is not a string");
        }
        return true;
    }
    bool Pop() {
        frames_.pop_back();
        return true;
    }
    bool Count(int& count, const wchar_t* refusal) { return ++count == 1 || Refuse(refusal); }
    bool Refuse(const std::wstring& why) {
        problem = why;
        return false;
    }

    std::vector<Frame> frames_;
    Field pending_ = Field::kNone;
    int logKeys_ = 0;
    int accessKeys_ = 0;
    int errorKeys_ = 0;
};

// Resolves `path` (full, "X:\..." with backslashes) step by step as Windows
// does; why a name in it is refused, or empty text.
std::wstring Normalize(const std::wstring& path, std::wstring& full) {
    std::vector<std::wstring> names;
    std::size_t start = 3;
    while (start <= path.size()) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) {
            end = path.size();
        }
        const std::wstring name = path.substr(start, end - start);
        start = end + 1;
        if (name.empty() || name == L".") {
            continue;
        }
        if (name == L"..") {
            if (!names.empty()) {
                names.pop_back();
            }
            continue;
        }
        const std::wstring problem = PathNameProblem(name);
        if (!problem.empty()) {
            return problem;
        }
        names.push_back(name);
    }
    full = path.substr(0, 2);
    for (const std::wstring& name : names) {
        full += L"\\" + name;
    }
    return {};
}

}  // namespace

CoreLogTarget ResolveCoreLogPath(const std::wstring& value, const std::wstring& dataDirectory) {
    if (value.empty() || value == kNoLog) {
        return {};
    }
    if (HoldsForbiddenCharacter(value)) {
        return {{}, L"holds a character no file name may hold"};
    }
    std::wstring path = value;
    for (wchar_t& c : path) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    const bool drive = path.size() >= 2 && path[1] == L':';
    if (path.compare(0, 2, L"\\\\") == 0) {
        return {{}, L"a UNC or device path"};
    }
    if (drive && (path.size() < 3 || path[2] != L'\\')) {
        return {{}, L"a drive letter without a separator"};
    }
    if (path.find(L':', drive ? 2 : 0) != std::wstring::npos) {
        return {{}, L"holds a colon (a stream or a scheme)"};
    }
    std::wstring absolute = drive              ? path
                            : path[0] == L'\\' ? dataDirectory.substr(0, 2) + path
                                               : dataDirectory + L"\\" + path;
    std::wstring full;
    const std::wstring problem = Normalize(absolute, full);
    if (!problem.empty()) {
        return {{}, problem};
    }
    const std::wstring inside = dataDirectory + L"\\";
    if (full.size() <= inside.size() || !SameAsciiFolded(full.substr(0, inside.size()), inside)) {
        return {{}, L"outside the data folder: " + full};
    }
    return {full, {}};
}

std::wstring CoreConfigProblem(const std::string& bytes, const std::wstring& dataDirectory) {
    LogSettingsReader reader;
    const bool parsed =
        nlohmann::json::sax_parse(bytes, &reader, nlohmann::json::input_format_t::json,
                                  /*strict=*/true, /*ignore_comments=*/true);
    if (!parsed) {
        return reader.problem.empty() ? L"not JSON" : reader.problem;
    }
    const struct {
        const wchar_t* field;
        const LogSettingsReader::LogName& name;
    } logs[] = {{L"access", reader.access}, {L"error", reader.error}};
    for (const auto& log : logs) {
        if (!log.name.present) {
            continue;
        }
        const CoreLogTarget target = ResolveCoreLogPath(Utf8ToWide(log.name.value), dataDirectory);
        if (!target.problem.empty()) {
            return std::wstring(L"\"") + log.field + L"\" log " + target.problem;
        }
    }
    return {};
}

}  // namespace velk
