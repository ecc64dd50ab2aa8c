#include <mutex>
#include <set>
#include <string>

#include "netsteer/control/state_file_io.h"

namespace netsteer {
namespace {

// Production never marks anything, so the set stays empty there.
struct OtherAccountMarks {
    std::mutex lock;
    std::set<std::wstring> paths;
};

OtherAccountMarks& Marks() {
    static OtherAccountMarks marks;
    return marks;
}

}  // namespace

void MarkOwnedByOtherAccountForTesting(const std::wstring& path) {
    OtherAccountMarks& marks = Marks();
    const std::lock_guard<std::mutex> guard(marks.lock);
    marks.paths.insert(path);
}

bool IsMarkedOwnedByOtherAccount(const std::wstring& path) {
    OtherAccountMarks& marks = Marks();
    const std::lock_guard<std::mutex> guard(marks.lock);
    return marks.paths.count(path) != 0;
}

void ForgetOtherAccountMark(const std::wstring& path) {
    OtherAccountMarks& marks = Marks();
    const std::lock_guard<std::mutex> guard(marks.lock);
    marks.paths.erase(path);
}

}  // namespace netsteer
