#include "common/inherit_handle_list.h"

#include <utility>

namespace velk {

InheritHandleList::InheritHandleList(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    if (size == 0) {
        return;
    }
    storage_.resize((size + sizeof(void*) - 1) / sizeof(void*));
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) {
        return;
    }
    initialized_ = list;
    if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                  handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
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
