// The fixture of the store contract: each case runs once on a SQLite file and
// once on a PostgreSQL database, with the same code.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "serial/serial_store.h"
#include "store_site_support.h"

namespace serialtest {

class StoreContract : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override;
    // A connection to the case's store, its range set up (job "job").
    std::unique_ptr<vmserial::SerialStore> open(const vmserial::SerialRange& range = {1000, 1009, 1},
                                                const vmserial::StoreOptions& options = {});
    // Reserves, failing the test when the range is used up.
    static std::uint64_t take(vmserial::SerialStore& store, vmserial::RunId run,
                              const std::string& programmer = "USB0", std::int64_t unit = 1);
    std::string url_;
};

// The kind of the StoreError that `call` throws; the test fails when none.
template <typename Call>
std::optional<vmserial::StoreError::Kind> errorOf(Call&& call) {
    try {
        call();
    } catch (const vmserial::StoreError& e) {
        return e.kind;
    }
    ADD_FAILURE() << "no StoreError";
    return std::nullopt;
}

std::string backendParamName(const ::testing::TestParamInfo<Backend>& info);

}  // namespace serialtest
