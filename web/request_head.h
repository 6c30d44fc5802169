// What the server makes of a request's head (its request line and header
// lines) before the HTTP library reads it: only a head that is whole, small
// and plainly a GET or a HEAD of a path is passed on; anything else is
// refused with its status and the connection closed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vmweb {

struct HeadVerdict {
    enum class Kind { incomplete, ready, refused };
    Kind kind = Kind::incomplete;
    int status = 0;             // refused: 400, 405 or 431
    std::size_t headBytes = 0;  // ready: the head's bytes, its blank line included
};

// `bytes`: what the client has sent so far on this request. Judges as early
// as it can: a request line or a header count that is wrong is refused
// before the rest arrives.
HeadVerdict judgeHead(std::string_view bytes, std::size_t maxBytes, std::size_t maxHeaders);

// The head as the library gets it: without Range and If-Range (every reply
// is whole; a ranged one is never made).
std::string headForLibrary(std::string_view head);

// The whole reply to a refused request: status line, Allow for 405, a
// short text body, and Connection: close.
std::string refusalReply(int status);

}  // namespace vmweb
