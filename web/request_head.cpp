#include "web/request_head.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace vmweb {

namespace {

constexpr std::string_view crlf = "\r\n";

bool isTokenChar(char c) {
    if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
        return true;
    }
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isToken(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), isTokenChar);
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// A line end is CR LF; a lone LF, a lone CR, NUL and the other controls but
// tab have no place in a head.
bool hasStrayBytes(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '\n' && (i == 0 || bytes[i - 1] != '\r')) {
            return true;
        }
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] != '\n') {
            return true;
        }
        if ((c < 0x20 && c != '\r' && c != '\n' && c != '\t') || c == 0x7f) {
            return true;
        }
    }
    return false;
}

// 0 when the request line is a GET or HEAD of a path in HTTP/1.x.
int judgeRequestLine(std::string_view line) {
    std::size_t first = line.find(' ');
    std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos) {
        return 400;
    }
    std::string_view method = line.substr(0, first);
    std::string_view target = line.substr(first + 1, second - first - 1);
    std::string_view version = line.substr(second + 1);
    if (!isToken(method) || (version != "HTTP/1.1" && version != "HTTP/1.0")) {
        return 400;
    }
    if (method != "GET" && method != "HEAD") {
        return 405;
    }
    bool plain = std::all_of(target.begin(), target.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u > 0x20 && u < 0x7f;
    });
    return target.empty() || target.front() != '/' || !plain ? 400 : 0;
}

// 0 when the header line is "name: value" and asks for no body.
int judgeHeaderLine(std::string_view line) {
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !isToken(line.substr(0, colon))) {
        return 400;  // folded lines and names with spaces included
    }
    std::string_view name = line.substr(0, colon);
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.remove_prefix(1);
    }
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) {
        value.remove_suffix(1);
    }
    if (equalsNoCase(name, "Transfer-Encoding") || (equalsNoCase(name, "Content-Length") && value != "0")) {
        return 400;
    }
    return 0;
}

std::vector<std::string_view> completeLines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find(crlf, start)) != std::string_view::npos; start = end + 2) {
        lines.push_back(bytes.substr(start, end - start));
        if (end == start) {
            break;  // the blank line ends the head
        }
    }
    return lines;
}

HeadVerdict refused(int status) { return {HeadVerdict::Kind::refused, status, 0}; }

}  // namespace

HeadVerdict judgeHead(std::string_view bytes, std::size_t maxBytes, std::size_t maxHeaders) {
    std::string_view seen = bytes.substr(0, maxBytes);
    if (hasStrayBytes(seen)) {
        return refused(400);
    }
    std::vector<std::string_view> lines = completeLines(seen);
    if (!lines.empty()) {
        if (int status = judgeRequestLine(lines.front()); status != 0) {
            return refused(status);
        }
    }
    bool whole = lines.size() >= 2 && lines.back().empty();
    std::size_t headers = lines.empty() ? 0 : lines.size() - 1 - (whole ? 1 : 0);
    if (headers > maxHeaders) {
        return refused(431);
    }
    for (std::size_t i = 1; i < lines.size() && !lines[i].empty(); ++i) {
        if (int status = judgeHeaderLine(lines[i]); status != 0) {
            return refused(status);
        }
    }
    if (!whole) {
        return bytes.size() >= maxBytes ? refused(431) : HeadVerdict{};
    }
    std::size_t size = static_cast<std::size_t>(lines.back().data() - seen.data()) + crlf.size();
    return {HeadVerdict::Kind::ready, 0, size};
}

std::string headForLibrary(std::string_view head) {
    std::string kept;
    kept.reserve(head.size());
    for (std::string_view line : completeLines(head)) {
        std::string_view name = line.substr(0, line.find(':'));
        if (!equalsNoCase(name, "Range") && !equalsNoCase(name, "If-Range")) {
            kept.append(line).append(crlf);
        }
    }
    return kept;
}

std::string refusalReply(int status) {
    std::string reason, body;
    switch (status) {
    case 405: reason = "Method Not Allowed"; body = "only GET and HEAD\n"; break;
    case 431: reason = "Request Header Fields Too Large"; body = "request too large\n"; break;
    case 503: reason = "Service Unavailable"; body = "too many connections\n"; break;
    default: reason = "Bad Request"; body = "bad request\n"; status = 400; break;
    }
    std::string reply = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
    if (status == 405) {
        reply += "Allow: GET, HEAD\r\n";
    }
    reply += "Content-Type: text/plain; charset=utf-8\r\nCache-Control: no-store\r\n";
    reply += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    return reply;
}

}  // namespace vmweb
