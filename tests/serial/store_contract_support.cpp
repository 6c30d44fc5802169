#include "store_contract_support.h"

#include <cctype>

namespace serialtest {

void StoreContract::SetUp() {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    url_ = freshStoreUrl(GetParam(), name);
}

std::unique_ptr<vmserial::SerialStore> StoreContract::open(const vmserial::SerialRange& range,
                                                           const vmserial::StoreOptions& options) {
    auto store = vmserial::openSerialStore(url_, "job", options);
    store->setupRange(range);
    return store;
}

std::uint64_t StoreContract::take(vmserial::SerialStore& store, vmserial::RunId run,
                                  const std::string& programmer, std::int64_t unit) {
    const vmserial::ReserveResult result = store.reserve(run, {programmer, unit});
    const auto* reserved = std::get_if<vmserial::Reserved>(&result);
    EXPECT_TRUE(reserved) << "the range was used up";
    return reserved ? reserved->number : 0;
}

std::string backendParamName(const ::testing::TestParamInfo<Backend>& info) {
    return backendName(info.param);
}

}  // namespace serialtest
