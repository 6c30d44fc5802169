#include "serial/store_key.h"

#include <libpq-fe.h>

#include <filesystem>
#include <map>
#include <memory>

namespace vmserial {
namespace {

struct FreeOptions {
    void operator()(PQconninfoOption* options) const { PQconninfoFree(options); }
};

std::string postgresKey(const std::string& url) {
    char* error = nullptr;
    std::unique_ptr<PQconninfoOption, FreeOptions> options(PQconninfoParse(url.c_str(), &error));
    PQfreemem(error);
    if (!options) return "postgresql://?";  // not a URL libpq reads: no store at all
    std::map<std::string, std::string> given;
    for (const PQconninfoOption* o = options.get(); o->keyword; ++o)
        if (o->val) given[o->keyword] = o->val;
    const std::string host = given.count("host") ? given["host"] : given["hostaddr"];
    return "postgresql://" + given["user"] + "@" + host + ":" + given["port"] + "/" + given["dbname"];
}

}  // namespace

std::string storeKey(const std::string& url) {
    const std::string sqlite = "sqlite:";
    if (url.starts_with(sqlite)) {
        std::error_code error;
        const auto path = std::filesystem::weakly_canonical(std::filesystem::absolute(url.substr(sqlite.size()), error), error);
        return error ? url : sqlite + path.string();
    }
    if (url.starts_with("postgresql://") || url.starts_with("postgres://")) return postgresKey(url);
    return url;
}

}  // namespace vmserial
