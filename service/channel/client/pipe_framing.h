#pragma once
// How request and response text travel on the service pipe: one message of
// UTF-16 little-endian code units each way. Pure functions, so both the
// server and its clients share one definition of the wire form.
#include <cstddef>
#include <string>

namespace velk {

// The request text in one received message: an odd last byte is dropped and
// the text ends at the first NUL code unit or at the end of the message. The
// result may be empty.
std::wstring DecodeRequest(const unsigned char* bytes, std::size_t byteCount);
std::wstring DecodeRequest(const std::string& bytes);

// The response message for a response line: its code units followed by one
// NUL code unit (2 * line length + 2 bytes).
std::string EncodeResponse(const std::wstring& line);

// The request message a client writes: the code units of `request`, no
// terminator.
std::string EncodeRequest(const std::wstring& request);

// What a client gathers while reading a response: `found` once the NUL code
// unit that ends the response has arrived; `line` holds the code units before
// it (or all complete code units so far).
struct DecodedResponse {
    bool found = false;
    std::wstring line;
};
DecodedResponse DecodeResponse(const std::string& bytes);

}  // namespace velk
