#include "service/channel/pipe_name_claim.h"

#include "common/wide_text.h"

namespace velk {

std::optional<Refusal> SharedNameRefusal(std::uint32_t instances, std::uint32_t ours) {
    if (instances == ours + 1) {
        return std::nullopt;
    }
    return Refusal{L"the name has " + ToDecimal(instances) +
                   L" instances, of which this server made " + ToDecimal(ours + 1)};
}

}  // namespace velk
