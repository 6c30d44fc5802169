#include "sim_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

using vmsim::SimReport;

SimHost::SimHost(const vmsim::SimBus& bus) : services(bus.services()) {
    EXPECT_TRUE(services.hid->bind());
}

HostPort SimHost::open(int port) {
    HostPort result;
    const std::string name = "USB" + std::to_string(port);
    result.comm = services.comm->openPort(name.c_str(), PortUse::use);
    if (result.comm >= 0) result.handle = services.comm->interfaceOf(result.comm);
    return result;
}

bool SimHost::set(HidHandle handle, const std::vector<std::uint8_t>& report) {
    return services.hid->setFeature(handle, report.data(), static_cast<std::uint32_t>(report.size()));
}

bool SimHost::get(HidHandle handle, std::vector<std::uint8_t>& report) {
    report[0] = 0;
    return services.hid->getFeature(handle, report.data(), static_cast<std::uint32_t>(report.size()));
}

SimReport SimHost::exchange(HidHandle command, SimReport request) {
    std::vector<std::uint8_t> report(request.begin(), request.end());
    report[0] = 0;
    EXPECT_TRUE(set(command, report));
    EXPECT_TRUE(get(command, report));
    SimReport reply{};
    std::copy(report.begin(), report.end(), reply.begin());
    return reply;
}

bool SimHost::setAddress(HidHandle command, std::uint32_t address) {
    const SimReport request{0, 'U', static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
                            static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 24)};
    return exchange(command, request) == request;
}

bool SimHost::writePage(HidHandle data, HidHandle command, const std::vector<std::uint8_t>& page,
                        std::uint16_t* statusSum) {
    std::vector<std::uint8_t> report(1, 0);
    report.insert(report.end(), page.begin(), page.end());
    if (!set(data, report)) return false;
    std::vector<std::uint8_t> status(6);
    if (!get(command, status)) return false;
    *statusSum = static_cast<std::uint16_t>(status[2] | (status[3] << 8));
    return true;
}

bool SimHost::readPage(HidHandle data, HidHandle command, std::vector<std::uint8_t>* page,
                       std::uint16_t* statusSum) {
    std::vector<std::uint8_t> report(vmsim::kDataReportLength);
    if (!get(data, report)) return false;
    page->assign(report.begin() + 1, report.end());
    std::vector<std::uint8_t> status(6);
    if (!get(command, status)) return false;
    *statusSum = static_cast<std::uint16_t>(status[2] | (status[3] << 8));
    return true;
}

HostProgrammer::HostProgrammer(SimHost& hostIn, int commandPort, int dataPort)
    : host(hostIn), command(hostIn.open(commandPort).handle), data(hostIn.open(dataPort).handle) {}

bool PinMaster::enterDirectMode() {
    SimReport reply = p_.host.exchange(p_.command, {0, '^', 0, 0, 0, 0});
    if (reply[1] != '^') return false;
    std::copy(reply.begin() + 2, reply.end(), shadow_.begin());
    shadow_[0] = static_cast<std::uint8_t>((shadow_[0] & 0xC0) | 0x38);
    shadow_[1] = static_cast<std::uint8_t>((shadow_[1] & 0xC0) | 0x02);
    shadow_[2] = static_cast<std::uint8_t>(shadow_[2] | 0x3F);
    shadow_[3] = static_cast<std::uint8_t>(shadow_[3] & 0xFE);
    reply = p_.host.exchange(p_.command, {0, '_', shadow_[0], shadow_[1], shadow_[2], shadow_[3]});
    return reply[1] == '_';
}

void PinMaster::pin(std::uint8_t mask, bool high) {
    shadow_[0] = static_cast<std::uint8_t>(high ? (shadow_[0] | mask) : (shadow_[0] & ~mask));
    p_.host.exchange(p_.command, {0, '_', shadow_[0], shadow_[1], shadow_[2], shadow_[3]});
}

bool PinMaster::miso() {
    const SimReport reply = p_.host.exchange(p_.command, {0, '^', 0, 0, 0, 0});
    std::copy(reply.begin() + 2, reply.end(), shadow_.begin());
    return (shadow_[0] & 0x02) != 0;
}

void PinMaster::send(std::uint8_t byte) {
    for (int bit = 7; bit >= 0; --bit) {
        pin(0x01, false);
        pin(0x04, ((byte >> bit) & 1) != 0);
        pin(0x01, true);
    }
    pin(0x01, false);
}

std::uint8_t PinMaster::receive() {
    std::uint8_t byte = 0;
    for (int bit = 0; bit < 8; ++bit) {
        pin(0x01, true);
        byte = static_cast<std::uint8_t>((byte << 1) | (miso() ? 1 : 0));
        pin(0x01, false);
    }
    return byte;
}

std::vector<std::uint8_t> PinMaster::frame(const std::vector<std::uint8_t>& bytes, std::size_t answers) {
    pin(0x10, true);
    pin(0x10, false);
    for (std::uint8_t byte : bytes) send(byte);
    std::vector<std::uint8_t> received;
    for (std::size_t i = 0; i < answers; ++i) received.push_back(receive());
    pin(0x10, true);
    return received;
}

std::uint16_t pageSum(const std::vector<std::uint8_t>& bytes) {
    std::uint16_t sum = 0;
    for (std::uint8_t byte : bytes) sum = static_cast<std::uint16_t>(sum + byte);
    return sum;
}

std::vector<std::uint8_t> pattern(std::size_t length, std::uint32_t seed) {
    std::vector<std::uint8_t> bytes(length);
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::uint8_t& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    return bytes;
}

std::string tempPath(const std::string& name) {
    const char* base = std::getenv("VM612K_TEST_TMP");
    std::filesystem::path dir = base != nullptr ? base : std::filesystem::temp_directory_path();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir /= std::string("sim_") + info->test_suite_name() + "_" + info->name();
    static std::filesystem::path fresh;  // emptied once per test
    if (dir != fresh) {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        fresh = dir;
    }
    return (dir / name).string();
}

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}
