#include "common/inherit_handle_list.h"

#include <utility>

namespace velk {
namespace {

// PROC_THREAD_ATTRIBUTE_JOB_LIST (attribute 13, an input), which the headers
// give only to builds for Windows 10; older systems refuse it at run time.
constexpr DWORD_PTR kJobListAttribute = 13 | PROC_THREAD_ATTRIBUTE_INPUT;

}  // namespace

InheritHandleList::InheritHandleList(std::vector<HANDLE> handles, HANDLE job)
    : handles_(std::move(handles)), job_(job) {
    const DWORD count = (handles_.empty() ? 0 : 1) + (job_ != nullptr ? 1 : 0);
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, count, 0, &size);
    if (count == 0 || size == 0) {
        return;
    }
    storage_.resize((size + sizeof(void*) - 1) / sizeof(void*));
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (!InitializeProcThreadAttributeList(list, count, 0, &size)) {
        return;
    }
    initialized_ = list;
    const bool handlesListed =
        handles_.empty() ||
        UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                  handles_.size() * sizeof(HANDLE), nullptr, nullptr);
    if (job_ != nullptr) {
        jobListed_ = UpdateProcThreadAttribute(list, 0, kJobListAttribute, &job_, sizeof(job_),
                                               nullptr, nullptr) != FALSE;
    }
    if (handlesListed && (!handles_.empty() || jobListed_)) {
        list_ = list;
    }
}

InheritHandleList::~InheritHandleList() {
    if (initialized_ != nullptr) {
        DeleteProcThreadAttributeList(initialized_);
    }
}

DWORD PrepareHiddenStartup(const InheritHandleList& inherit, HANDLE input, HANDLE output,
                           STARTUPINFOEXW* startup) {
    *startup = STARTUPINFOEXW{};
    startup->StartupInfo.cb = sizeof(startup->StartupInfo);
    startup->StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup->StartupInfo.wShowWindow = SW_HIDE;
    startup->StartupInfo.hStdInput = input;
    startup->StartupInfo.hStdOutput = output;
    startup->StartupInfo.hStdError = output;
    DWORD creationFlags = CREATE_NO_WINDOW;
    if (inherit.Get() != nullptr) {
        startup->StartupInfo.cb = sizeof(*startup);
        startup->lpAttributeList = inherit.Get();
        creationFlags |= EXTENDED_STARTUPINFO_PRESENT;
    }
    return creationFlags;
}

}  // namespace velk
