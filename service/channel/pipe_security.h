#pragma once
// The security of the service pipe: who may open it and how, and the
// descriptor every instance is created with.
#include <cstdint>
#include <string>

namespace velk {

// Access masks of the pipe's DACL. A pipe's FILE_CREATE_PIPE_INSTANCE is the
// same bit as FILE_APPEND_DATA, which GENERIC_WRITE and FILE_GENERIC_WRITE
// include; so only SYSTEM gets it, and users get their rights spelled out.
inline constexpr std::uint32_t kPipeCreateInstanceRight = 0x00000004;  // FILE_CREATE_PIPE_INSTANCE
inline constexpr std::uint32_t kPipeFullControl = 0x001F01FF;          // FILE_ALL_ACCESS
inline constexpr std::uint32_t kPipeAdministratorRights =
    kPipeFullControl & ~kPipeCreateInstanceRight;
// FILE_GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES: read and write
// messages and switch the read mode, nothing more.
inline constexpr std::uint32_t kPipeUserRights = 0x00120089 | 0x00000002 | 0x00000100;

// What a client of the pipe asks for when it opens it. Not GENERIC_WRITE: that
// includes FILE_CREATE_PIPE_INSTANCE, which the DACL gives to nobody but SYSTEM.
inline constexpr std::uint32_t kPipeClientAccess = 0x80000000 | 0x00000002 | 0x00000100;

// The pipe's descriptor in SDDL: a protected DACL that denies anonymous
// logons everything, gives SYSTEM full control, Administrators full control
// except creating instances, and authenticated users kPipeUserRights.
std::wstring PipeSecurityDescriptorSddl();

}  // namespace velk
