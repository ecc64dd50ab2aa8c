#pragma once
// The security of the service pipe: who may open it and how, and the
// descriptor its instances are created with.
#include <cstdint>
#include <string>

namespace velk {

// Access masks of the pipe's DACL (the file rights; a pipe uses the file
// generic mapping).
inline constexpr std::uint32_t kPipeFullControl = 0x001F01FF;   // FILE_ALL_ACCESS
inline constexpr std::uint32_t kFileGenericRead = 0x00120089;   // FILE_GENERIC_READ
inline constexpr std::uint32_t kFileGenericWrite = 0x00120116;  // FILE_GENERIC_WRITE
// Exactly what a client opening the pipe for reading and writing is given
// for GENERIC_READ | GENERIC_WRITE: read and write messages, switch the read
// mode. FILE_GENERIC_WRITE includes FILE_APPEND_DATA, which on a pipe is
// FILE_CREATE_PIPE_INSTANCE, so authenticated users hold the right to add an
// instance. It cannot be withheld: GENERIC_WRITE maps to all of
// FILE_GENERIC_WRITE, and an open is refused unless every right it maps to is
// granted, so every ordinary read/write client (the user interface among
// them) would be shut out. That no one else adds an instance is kept by the
// server holding all kPipeMaxInstances instances the name allows for its
// whole run (pipe_server.h). No WRITE_DAC, WRITE_OWNER or DELETE.
inline constexpr std::uint32_t kPipeUserRights = kFileGenericRead | kFileGenericWrite;

// What a client of the pipe asks for when it opens it: GENERIC_READ |
// GENERIC_WRITE, as any ordinary read/write client does.
inline constexpr std::uint32_t kPipeClientAccess = 0x80000000u | 0x40000000u;

// The pipe's descriptor in SDDL: a protected DACL that denies anonymous
// logons everything, gives SYSTEM and Administrators full control and
// authenticated users kPipeUserRights.
std::wstring PipeSecurityDescriptorSddl();

}  // namespace velk
