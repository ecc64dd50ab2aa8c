#pragma once
// What the simulated tools print, as wide text with CR LF line ends; the
// programs turn it into bytes of the console code page.
#include <string>

#include "tools/netsim/netsim_machine.h"

namespace netsim {

// "route print -4" in the layout Windows prints, in the machine's language
// ("en" or "de"). `destinationFilter`, when not empty, keeps only the routes
// to that destination, as "route print 0.0.0.0" does.
std::wstring RenderRoutePrint(const Machine& machine, const std::wstring& destinationFilter = L"");

// "netsh interface ipv4 show interfaces".
std::wstring RenderInterfaceTable(const Machine& machine);

// "netsim show": the whole simulated machine, with each route's own metric.
std::wstring RenderMachine(const Machine& machine);

// Right-aligns `text` in `width` characters; wider text is kept whole.
std::wstring PadLeft(const std::wstring& text, std::size_t width);
std::wstring PadRight(const std::wstring& text, std::size_t width);

}  // namespace netsim
