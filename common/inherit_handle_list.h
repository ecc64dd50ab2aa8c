#pragma once
// Starting a child that inherits only the handles it is meant to have.
// Without a handle list every inheritable handle of this process passes to
// the child, including those another thread has just made inheritable; a
// child holding a copy of some pipe's write end keeps that pipe from ever
// reporting its end.
#include <windows.h>

#include <vector>

namespace velk {

// Owns a thread attribute list whose PROC_THREAD_ATTRIBUTE_HANDLE_LIST names
// `handles` (each of them must be inheritable; none: a child that inherits
// nothing) and, when `job` is given and the system knows the attribute
// (Windows 10 and later), whose PROC_THREAD_ATTRIBUTE_JOB_LIST puts the child
// into `job` as it is created.
class InheritHandleList {
  public:
    explicit InheritHandleList(std::vector<HANDLE> handles, HANDLE job = nullptr);
    ~InheritHandleList();
    InheritHandleList(const InheritHandleList&) = delete;
    InheritHandleList& operator=(const InheritHandleList&) = delete;

    // Null when the list could not be built; the child then inherits every
    // inheritable handle, as with a plain CreateProcessW.
    LPPROC_THREAD_ATTRIBUTE_LIST Get() const { return list_; }

    // True when the child will be created inside the job; otherwise the
    // caller must assign it.
    bool JobListed() const { return list_ != nullptr && jobListed_; }

  private:
    std::vector<HANDLE> handles_;  // the attribute list points into it
    HANDLE job_;                   // and into this
    bool jobListed_ = false;
    std::vector<void*> storage_;  // pointer-aligned room for the list
    LPPROC_THREAD_ATTRIBUTE_LIST initialized_ = nullptr;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// Fills `startup` for a child without a window whose standard input is
// `input` and whose standard output and error both go to `output`, limited to
// the handles of `inherit` when that list was built. Returns the creation
// flags to pass with it (CreateProcessW with bInheritHandles TRUE and
// &startup->StartupInfo).
DWORD PrepareHiddenStartup(const InheritHandleList& inherit, HANDLE input, HANDLE output,
                           STARTUPINFOEXW* startup);

}  // namespace velk
