#include "win32usb_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <vector>

#include "usb/win32/usb_handles.h"

namespace {

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

std::string moduleFileName(HMODULE module) {
    char name[MAX_PATH * 2] = {};
    const DWORD length = GetModuleFileNameA(module, name, sizeof name);
    return std::string(name, length < sizeof name ? length : 0);
}

std::string programFolder() { return folderOf(moduleFileName(nullptr)); }

std::string systemFolder() {
    char folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    return std::string(folder, length < MAX_PATH ? length : 0);
}

std::string scratchFolder() {
    const char* base = std::getenv("VM612K_TEST_TMP");
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string folder = std::string(base != nullptr ? base : ".") + "\\" +
                         (test != nullptr ? test->name() : "scratch");
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

bool isInFolder(const std::string& path, const std::string& folder) {
    const std::string p = lowered(path);
    const std::string f = lowered(folder) + "\\";
    return !folder.empty() && p.compare(0, f.size(), f) == 0;
}

int runSelf(const std::string& arguments, const std::string& workingFolder) {
    const std::string program = moduleFileName(nullptr);
    std::vector<char> writable;
    writable.push_back('"');
    writable.insert(writable.end(), program.begin(), program.end());
    writable.push_back('"');
    writable.push_back(' ');
    writable.insert(writable.end(), arguments.begin(), arguments.end());
    writable.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingFolder.c_str(), &startup, &process)) {
        return -1;
    }
    CloseHandle(process.hThread);
    const UniqueHandle owned(process.hProcess);
    if (WaitForSingleObject(owned.get(), 60000) != WAIT_OBJECT_0) {
        TerminateProcess(owned.get(), 1);
        WaitForSingleObject(owned.get(), 10000);
        return -1;
    }
    DWORD code = 0;
    return GetExitCodeProcess(owned.get(), &code) ? static_cast<int>(code) : -1;
}
