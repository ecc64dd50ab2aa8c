#pragma once
// Whether the pipe's name is ours alone. Windows refuses a first instance of
// a name that someone else already serves (FILE_FLAG_FIRST_PIPE_INSTANCE),
// but not every platform does (Wine joins the existing pipe), so the count of
// the name's instances is checked after each creation: one more than ours
// means someone else holds some. That is our rule turning the instance down,
// not a failed call. Portable.
#include <cstdint>
#include <optional>

#include "common/refusal.h"

namespace velk {

// Why an instance just made must be given up, counting `instances` of the
// name once it is made, of which `ours` were made by this server before it;
// none when the name has no instance besides ours.
std::optional<Refusal> SharedNameRefusal(std::uint32_t instances, std::uint32_t ours);

}  // namespace velk
