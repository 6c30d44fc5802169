// How a store's URL is shown: never with a password. A URL ("scheme://")
// loses the password of its user part and every query item whose key, its
// percent escapes undone and in any case, names a secret ("pass", "secret",
// "token": libpq's password and sslpassword among them); a text of another
// form is cut before the first such word. "sqlite:PATH" is shown as it is.
#include <algorithm>
#include <cctype>
#include <vector>

#include "serial/serial_store.h"

namespace vmserial {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Percent escapes undone, as libpq undoes them in a URI.
std::string decoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int high = i + 2 < text.size() && text[i] == '%' ? hexValue(text[i + 1]) : -1;
        const int low = high >= 0 ? hexValue(text[i + 2]) : -1;
        if (low >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Where the first word that names a secret starts in `text` (lower case).
std::size_t secretWordAt(const std::string& text) {
    std::size_t at = std::string::npos;
    for (const char* word : {"pass", "secret", "token"}) at = std::min(at, text.find(word));
    return at;
}

bool isUrl(const std::string& text) { return text.find("://") != std::string::npos; }

// A URL's parts as libpq reads them: the user part ends at the last '@'
// before the path's '/' (or, when a '/' is in the password, before the
// query's '?'); the query starts at the first '?' after it.
struct UrlParts {
    std::size_t authority = 0;            // just after "://"
    std::size_t at = std::string::npos;   // the user part's '@'
    std::size_t query = std::string::npos;
};

UrlParts partsOf(const std::string& url) {
    UrlParts parts;
    parts.authority = url.find("://") + 3;
    const std::size_t slash = url.find('/', parts.authority);
    const std::size_t beforeSlash = slash == std::string::npos ? url.size() : slash;
    parts.at = url.rfind('@', beforeSlash == 0 ? 0 : beforeSlash - 1);
    if (parts.at == std::string::npos || parts.at < parts.authority) {
        const std::size_t question = std::min(url.find('?', parts.authority), url.size());
        parts.at = url.rfind('@', question == 0 ? 0 : question - 1);
        if (parts.at != std::string::npos && parts.at < parts.authority) parts.at = std::string::npos;
    }
    parts.query = url.find('?', parts.at == std::string::npos ? parts.authority : parts.at);
    return parts;
}

// The query items whose keys name a secret: {item as written, value}.
std::vector<std::pair<std::string, std::string>> queryItems(const std::string& url, const UrlParts& parts) {
    std::vector<std::pair<std::string, std::string>> items;
    if (parts.query == std::string::npos) return items;
    for (std::size_t start = parts.query + 1; start <= url.size();) {
        const std::size_t end = std::min(url.find('&', start), url.size());
        const std::string item = url.substr(start, end - start);
        const std::size_t equals = item.find('=');
        items.emplace_back(item, equals == std::string::npos ? "" : item.substr(equals + 1));
        start = end + 1;
    }
    return items;
}

bool secretItem(const std::string& item) {
    return secretWordAt(lower(decoded(item.substr(0, item.find('='))))) != std::string::npos;
}

// The secrets `url` holds as written, and as libpq reads them.
std::vector<std::string> secretsOf(const std::string& url) {
    std::vector<std::string> secrets;
    const auto add = [&](const std::string& secret) {
        for (const std::string& form : {secret, decoded(secret)})
            if (!form.empty()) secrets.push_back(form);
    };
    if (url.starts_with("sqlite:")) return secrets;
    if (!isUrl(url)) {
        const std::size_t at = secretWordAt(lower(url));
        if (at != std::string::npos) add(url.substr(at));
        return secrets;
    }
    const UrlParts parts = partsOf(url);
    if (parts.at != std::string::npos) {
        const std::size_t colon = url.find(':', parts.authority);
        if (colon < parts.at) add(url.substr(colon + 1, parts.at - colon - 1));
    }
    for (const auto& [item, value] : queryItems(url, parts))
        if (secretItem(item)) add(value);
    // The longest first, so that a secret within another goes with it.
    std::sort(secrets.begin(), secrets.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    return secrets;
}

// One pass: a secret is masked where it starts, the longest first.
std::string withoutSecrets(const std::string& text, const std::vector<std::string>& secrets) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const auto found = std::find_if(secrets.begin(), secrets.end(),
                                        [&](const std::string& secret) { return text.compare(at, secret.size(), secret) == 0; });
        if (found == secrets.end()) {
            out += text[at++];
        } else {
            out += "***";
            at += found->size();
        }
    }
    return out;
}

}  // namespace

std::string shownStoreUrl(const std::string& url) {
    if (url.starts_with("sqlite:")) return url;
    if (!isUrl(url)) {
        const std::size_t at = secretWordAt(lower(url));
        return at == std::string::npos ? url : url.substr(0, at) + "...";
    }
    const UrlParts parts = partsOf(url);
    std::string shown = url.substr(0, parts.authority);
    std::size_t rest = parts.authority;
    if (parts.at != std::string::npos) {
        const std::size_t colon = url.find(':', parts.authority);
        shown += url.substr(parts.authority, std::min(colon, parts.at) - parts.authority);
        rest = parts.at;
    }
    shown += url.substr(rest, std::min(parts.query, url.size()) - rest);
    std::string kept;
    for (const auto& [item, value] : queryItems(url, parts))
        if (!item.empty() && !secretItem(item)) kept += (kept.empty() ? "?" : "&") + item;
    return shown + kept;
}

std::string withoutStoreSecrets(const std::string& text, const std::string& url) {
    const std::vector<std::string> secrets = secretsOf(url);
    const std::string shown = shownStoreUrl(url);
    // The URL where it is named whole; the secrets wherever a piece of it is
    // quoted (libpq quotes the token it could not read), outside the URL shown.
    std::string out;
    std::size_t start = 0;
    for (std::size_t at; !url.empty() && (at = text.find(url, start)) != std::string::npos; start = at + url.size())
        out += withoutSecrets(text.substr(start, at - start), secrets) + shown;
    return out + withoutSecrets(text.substr(start), secrets);
}

}  // namespace vmserial
