#include "usb/linux/usb_sysfs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "usb/linux/usb_unique_fd.h"

namespace {

// sysfs attribute files are at most a page; a report descriptor at most 4 KiB.
constexpr std::size_t kAttributeLimit = 64 * 1024;
// How many folders up from a HID device its USB device may be.
constexpr int kMaxAncestorSteps = 32;

std::optional<std::string> readFileText(const std::string& path, std::size_t limit) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return std::nullopt;
    std::string text;
    char chunk[4096];
    while (text.size() < limit) {
        const ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        text.append(chunk, static_cast<std::size_t>(got));
    }
    if (text.size() > limit) text.resize(limit);
    return text;
}

std::optional<std::string> realPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return std::nullopt;
    std::string result(resolved);
    std::free(resolved);
    return result;
}

// The value of KEY= in a uevent file's lines.
std::optional<std::string> ueventValue(const std::string& text, const std::string& key) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end - start > key.size() && text.compare(start, key.size(), key) == 0 &&
            text[start + key.size()] == '=') {
            return text.substr(start + key.size() + 1, end - start - key.size() - 1);
        }
        start = end + 1;
    }
    return std::nullopt;
}

// A hexadecimal field of at most `maxDigits` digits.
std::optional<std::uint32_t> parseHex(const std::string& text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return value;
}

// A decimal number file of sysfs ("3\n"); false when unreadable or not one.
bool readDecimalFile(const std::string& path, std::uint32_t* value) {
    auto text = readFileText(path, 64);
    if (!text) return false;
    while (!text->empty() && (text->back() == '\n' || text->back() == ' ')) text->pop_back();
    if (text->empty() || text->size() > 9) return false;
    std::uint32_t number = 0;
    for (char c : *text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + static_cast<std::uint32_t>(c - '0');
    }
    *value = number;
    return true;
}

// HID_ID=bus:vendor:product, each hexadecimal (0003:00000416:00009391).
bool readHidIds(const std::string& hidDevicePath, HidrawNode* node) {
    const auto uevent = readFileText(hidDevicePath + "/uevent", kAttributeLimit);
    if (!uevent) return false;
    const auto id = ueventValue(*uevent, "HID_ID");
    if (!id) return false;
    const std::size_t first = id->find(':');
    const std::size_t second = first == std::string::npos ? first : id->find(':', first + 1);
    if (second == std::string::npos) return false;
    const auto vendor = parseHex(id->substr(first + 1, second - first - 1), 8);
    const auto product = parseHex(id->substr(second + 1), 8);
    if (!vendor || !product || *vendor > 0xFFFF || *product > 0xFFFF) return false;
    node->vendorId = static_cast<std::uint16_t>(*vendor);
    node->productId = static_cast<std::uint16_t>(*product);
    return true;
}

// A USB device's folder is named bus-port[.port...]: "1-2", "3-1.4".
bool looksLikeUsbDevice(const std::string& name) {
    std::size_t i = 0;
    auto digits = [&] {
        const std::size_t from = i;
        while (i < name.size() && name[i] >= '0' && name[i] <= '9') ++i;
        return i > from;
    };
    if (!digits() || i >= name.size() || name[i++] != '-' || !digits()) return false;
    while (i < name.size()) {
        if (name[i++] != '.' || !digits()) return false;
    }
    return true;
}

std::string parentFolder(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return "/";
    return path.substr(0, slash);
}

std::uint32_t fnv1a(const std::string& text) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
    return hash;
}

// The bus and device number of the USB device above the HID device.
std::uint32_t parentIdOf(const std::string& sysfsRealRoot, const std::string& hidDevicePath) {
    std::string folder = parentFolder(hidDevicePath);
    for (int step = 0; step < kMaxAncestorSteps; ++step) {
        if (folder.size() <= sysfsRealRoot.size() ||
            folder.compare(0, sysfsRealRoot.size(), sysfsRealRoot) != 0) {
            break;  // left the sysfs tree
        }
        const std::string name = folder.substr(folder.find_last_of('/') + 1);
        if (looksLikeUsbDevice(name)) {
            std::uint32_t bus = 0;
            std::uint32_t device = 0;
            if (readDecimalFile(folder + "/busnum", &bus) &&
                readDecimalFile(folder + "/devnum", &device) && bus < 0x8000 && device <= 0xFFFF) {
                return bus << 16 | device;
            }
        }
        folder = parentFolder(folder);
    }
    return fnv1a(hidDevicePath) | 0x80000000u;
}

std::optional<unsigned> hidrawNumber(const char* name) {
    if (std::strncmp(name, "hidraw", 6) != 0 || name[6] == '\0') return std::nullopt;
    unsigned number = 0;
    for (const char* c = name + 6; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9' || number > 99999) return std::nullopt;
        number = number * 10 + static_cast<unsigned>(*c - '0');
    }
    return number;
}

std::optional<HidrawNode> describeNode(const std::string& sysfsRealRoot,
                                       const std::string& classDir, const std::string& devRoot,
                                       const char* name, unsigned number) {
    HidrawNode node;
    node.name = name;
    node.number = number;
    const auto nodePath = realPath(classDir + "/" + name);
    const auto hidDevice = realPath(classDir + "/" + name + "/device");
    if (!nodePath || !hidDevice) return std::nullopt;
    node.nodePath = *nodePath;
    node.hidDevicePath = *hidDevice;

    std::string devName = name;
    if (const auto uevent = readFileText(node.nodePath + "/uevent", kAttributeLimit)) {
        const auto named = ueventValue(*uevent, "DEVNAME");
        // Only a plain name within the device folder is taken.
        if (named && !named->empty() && named->find('/') == std::string::npos && *named != "." &&
            *named != "..")
            devName = *named;
    }
    node.devicePath = devRoot + "/" + devName;
    node.haveIds = readHidIds(node.hidDevicePath, &node);
    node.parentId = parentIdOf(sysfsRealRoot, node.hidDevicePath);
    return node;
}

}  // namespace

bool hidrawClassPresent(const std::string& sysfsRoot) {
    struct stat st;
    return ::stat((sysfsRoot + "/class/hidraw").c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<HidrawNode> scanHidrawNodes(const std::string& sysfsRoot, const std::string& devRoot) {
    std::vector<HidrawNode> nodes;
    const std::string classDir = sysfsRoot + "/class/hidraw";
    const auto sysfsRealRoot = realPath(sysfsRoot);
    if (!sysfsRealRoot) return nodes;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(classDir.c_str()), &::closedir);
    if (!dir) return nodes;
    while (const dirent* entry = ::readdir(dir.get())) {
        const auto number = hidrawNumber(entry->d_name);
        if (!number) continue;
        if (auto node = describeNode(*sysfsRealRoot, classDir, devRoot, entry->d_name, *number)) {
            nodes.push_back(std::move(*node));
        }
    }
    std::sort(nodes.begin(), nodes.end(),
              [](const HidrawNode& a, const HidrawNode& b) { return a.number < b.number; });
    return nodes;
}

bool hidrawNodeStillPresent(const std::string& sysfsRoot, const HidrawNode& node) {
    const auto now = realPath(sysfsRoot + "/class/hidraw/" + node.name);
    return now && *now == node.nodePath;
}

std::vector<std::uint8_t> readHidReportDescriptor(const HidrawNode& node) {
    const auto text = readFileText(node.hidDevicePath + "/report_descriptor", kAttributeLimit);
    if (!text) return {};
    return std::vector<std::uint8_t>(text->begin(), text->end());
}
