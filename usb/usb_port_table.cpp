#include "usb/usb_port_table.h"

int parseUsbPortName(const char* name) {
    if (name == nullptr || name[0] != 'U' || name[1] != 'S' || name[2] != 'B') return -1;
    const char* digits = name + 3;
    if (*digits == '\0') return -1;
    int number = 0;
    for (const char* c = digits; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') return -1;
        number = number * 10 + (*c - '0');
        if (number > 65535) return -1;
    }
    return number;
}

std::string usbPortName(unsigned number) { return "USB" + std::to_string(number); }
