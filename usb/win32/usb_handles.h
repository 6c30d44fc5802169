// Owners of the Windows handles the USB services hold.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <utility>

// A handle from CreateFile; INVALID_HANDLE_VALUE when empty.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept
        : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    void reset() {
        if (*this) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// A device information set from SetupDiGetClassDevs.
class DevInfoList {
public:
    explicit DevInfoList(HDEVINFO set) : set_(set) {}
    ~DevInfoList() {
        if (*this) SetupDiDestroyDeviceInfoList(set_);
    }
    DevInfoList(const DevInfoList&) = delete;
    DevInfoList& operator=(const DevInfoList&) = delete;

    HDEVINFO get() const { return set_; }
    explicit operator bool() const { return set_ != INVALID_HANDLE_VALUE && set_ != nullptr; }

private:
    HDEVINFO set_;
};
