// Which Host header a listener answers, so that a page of another site in a
// browser on the station's machine reads nothing through DNS rebinding (its
// name made to point at this machine): a request that names another host is
// refused with 421 Misdirected Request. The port a Host names is not looked
// at (a tunnel or a forwarded port names its own); its name decides:
// - an address written as numbers (1.2.3.4, [v6]) is always taken:
//   rebinding needs a name, and a browser sends a number only to the
//   address its user asked for;
// - the listen address's own name (--listen station-3:8080);
// - "localhost" when bound to a loopback address or to every address;
// - the machine's host name, its first label alone and that label with
//   ".local" when bound to every address or to one that is not loopback.
// Names are taken in any case, with or without a final dot. A request with
// no Host (HTTP/1.0) is served: a browser always sends one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vmweb {

class HostRule {
public:
    // `listenHost`: as --listen names it ("127.0.0.1", "0.0.0.0", "::",
    // "station-3"); `machineName`: the machine's host name, "" if unknown.
    HostRule(const std::string& listenHost, const std::string& machineName);
    // `host`: the Host header's value.
    bool allows(std::string_view host) const;

private:
    std::vector<std::string> names_;
};

}  // namespace vmweb
