#include "web/host_check.h"

#include <algorithm>
#include <cctype>

namespace vmweb {

namespace {

std::string normalName(std::string_view name) {
    std::string text(name);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (!text.empty() && text.back() == '.') {
        text.pop_back();
    }
    return text;
}

bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Four decimal parts from 0 to 255.
bool isIpv4(std::string_view name) {
    int parts = 0;
    for (std::size_t start = 0; start <= name.size(); ++parts) {
        std::size_t end = std::min(name.find('.', start), name.size());
        std::string_view part = name.substr(start, end - start);
        if (!allDigits(part) || part.size() > 3 || std::stoi(std::string(part)) > 255) {
            return false;
        }
        start = end + 1;
    }
    return parts == 4;
}

bool isLoopback(const std::string& host) {
    return host == "localhost" || host == "::1" || (isIpv4(host) && host.starts_with("127."));
}

bool isEveryAddress(const std::string& host) { return host.empty() || host == "0.0.0.0" || host == "::"; }

}  // namespace

HostRule::HostRule(const std::string& listenHost, const std::string& machineName) {
    const std::string listen = normalName(listenHost);
    names_.push_back(listen);
    if (isLoopback(listen) || isEveryAddress(listen)) {
        names_.push_back("localhost");
    }
    const std::string machine = normalName(machineName);
    if (!isLoopback(listen) && !machine.empty()) {
        const std::string label = machine.substr(0, machine.find('.'));
        names_.insert(names_.end(), {machine, label, label + ".local"});
    }
}

bool HostRule::allows(std::string_view host) const {
    while (!host.empty() && (host.front() == ' ' || host.front() == '\t')) {
        host.remove_prefix(1);
    }
    while (!host.empty() && (host.back() == ' ' || host.back() == '\t')) {
        host.remove_suffix(1);
    }
    std::string_view name = host;
    std::string_view port;
    if (host.starts_with('[')) {
        std::size_t close = host.find(']');
        if (close == std::string_view::npos) {
            return false;
        }
        name = host.substr(0, close + 1);
        port = host.substr(close + 1);
    } else if (std::size_t colon = host.find(':'); colon != std::string_view::npos) {
        name = host.substr(0, colon);
        port = host.substr(colon);
    }
    if (!port.empty() && (port.front() != ':' || !allDigits(port.substr(1)))) {
        return false;
    }
    if (name.empty()) {
        return false;
    }
    if (name.front() == '[' || isIpv4(name)) {
        return true;  // a number: no name to rebind
    }
    const std::string wanted = normalName(name);
    return std::find(names_.begin(), names_.end(), wanted) != names_.end();
}

}  // namespace vmweb
