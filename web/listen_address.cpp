#include <cctype>

#include "web/http_server.h"

namespace vmweb {

namespace {

bool parsePort(const std::string& text, int* port) {
    if (text.empty() || text.size() > 5) {
        return false;
    }
    int value = 0;
    for (char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    *port = value;
    return value <= 65535;
}

}  // namespace

bool parseListenAddress(const std::string& text, ListenAddress* address, std::string* error) {
    ListenAddress parsed;
    std::string port = text;
    std::size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        parsed.host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (parsed.host.size() >= 2 && parsed.host.front() == '[' && parsed.host.back() == ']') {
            parsed.host = parsed.host.substr(1, parsed.host.size() - 2);
        } else if (parsed.host.find_first_of("[]:") != std::string::npos) {
            *error = "\"" + text + "\" is not an address: write an IPv6 host in brackets, [::1]:8080";
            return false;
        }
        if (parsed.host.empty() || parsed.host.find_first_of(" /[]") != std::string::npos) {
            *error = "\"" + text + "\" is not an address: HOST:PORT, [V6]:PORT or PORT";
            return false;
        }
    }
    if (!parsePort(port, &parsed.port)) {
        *error = "\"" + text + "\" is not an address: the port is a number from 0 to 65535";
        return false;
    }
    *address = parsed;
    return true;
}

std::string listenUrl(const std::string& host, int port) {
    bool v6 = host.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/";
}

}  // namespace vmweb
