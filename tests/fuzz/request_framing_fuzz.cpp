// The request decoding of one pipe message, and the response framing around
// it. Properties: the request holds no NUL and is exactly the message's code
// units up to the first NUL unit (so encoding it gives back the front of the
// message); both overloads agree; a response line framed and read back is
// whole and found.
#include <cstddef>
#include <cstdint>
#include <string>

#include "service/channel/client/pipe_framing.h"
#include "tests/fuzz/fuzz_check.h"

using velk::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string message = velk::fuzz::Bytes(data, size);
    const std::wstring request = velk::DecodeRequest(data, size);

    Require(request == velk::DecodeRequest(message), "both overloads agree");
    Require(request.find(L'\0') == std::wstring::npos, "the request holds no NUL");
    Require(request.size() <= size / 2, "no more units than whole units sent");
    const std::string front = velk::EncodeRequest(request);
    Require(message.compare(0, front.size(), front) == 0,
            "the request is the front of the message");
    const std::size_t end = front.size();
    Require(end + 1 >= size || (message[end] == '\0' && message[end + 1] == '\0'),
            "it ends at a NUL unit or at the last whole unit");

    const velk::DecodedResponse framed = velk::DecodeResponse(velk::EncodeResponse(request));
    Require(framed.found && framed.line == request, "a framed line reads back whole");
    const velk::DecodedResponse partial = velk::DecodeResponse(message);
    Require(partial.line == request, "a response is read by the same unit rules");
    Require(partial.found == (end + 1 < size), "the response is found at its NUL unit");
    return 0;
}
