#include "sim/usbredir/redir_link.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <usbredirparser.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vmsim::usbredir {

namespace {

// The endpoint's slot in the usbredir endpoint tables: IN endpoints from 16.
int endpointSlot(std::uint8_t address) {
    return ((address & 0x80) >> 3) | (address & 0x0F);
}

RedirLink& linkOf(void* priv) {
    return *static_cast<RedirLink*>(priv);
}

}  // namespace

struct RedirCallbacks {
    static void log(void*, int level, const char* message) {
        if (level <= usbredirparser_warning) std::fprintf(stderr, "vm612k_usbredir: %s\n", message);
    }

    static int read(void* priv, std::uint8_t* data, int count) {
        RedirLink& link = linkOf(priv);
        const ssize_t got = ::read(link.fd_, data, static_cast<std::size_t>(count));
        if (got > 0) return static_cast<int>(got);
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
        if (got < 0) link.broken_ = true;
        link.closed_ = true;
        return -1;
    }

    // The socket does not block: what does not fit now stays queued in the
    // parser, which writes it when poll() says the socket has room.
    static int write(void* priv, std::uint8_t* data, int count) {
        RedirLink& link = linkOf(priv);
        const ssize_t put = ::write(link.fd_, data, static_cast<std::size_t>(count));
        if (put >= 0) return static_cast<int>(put);
        if (errno == EAGAIN || errno == EINTR) return 0;
        link.broken_ = link.closed_ = true;
        return -1;
    }

    static void hello(void* priv, usb_redir_hello_header*) { linkOf(priv).announce(); }

    static void setConfiguration(void* priv, std::uint64_t id,
                                 usb_redir_set_configuration_header* h) {
        RedirLink& link = linkOf(priv);
        usb_redir_configuration_status_header status{};
        status.status = h->configuration <= 1 ? usb_redir_success : usb_redir_stall;
        if (h->configuration <= 1) link.configuration_ = h->configuration;
        status.configuration = link.configuration_;
        usbredirparser_send_configuration_status(link.parser_, id, &status);
    }

    static void getConfiguration(void* priv, std::uint64_t id) {
        RedirLink& link = linkOf(priv);
        usb_redir_configuration_status_header status{};
        status.status = usb_redir_success;
        status.configuration = link.configuration_;
        usbredirparser_send_configuration_status(link.parser_, id, &status);
    }

    static void setAltSetting(void* priv, std::uint64_t id, usb_redir_set_alt_setting_header* h) {
        usb_redir_alt_setting_status_header status{};
        status.status =
            h->interface < kInterfaceCount && h->alt == 0 ? usb_redir_success : usb_redir_stall;
        status.interface = h->interface;
        status.alt = 0;
        usbredirparser_send_alt_setting_status(linkOf(priv).parser_, id, &status);
    }

    static void getAltSetting(void* priv, std::uint64_t id, usb_redir_get_alt_setting_header* h) {
        usb_redir_alt_setting_status_header status{};
        status.status = h->interface < kInterfaceCount ? usb_redir_success : usb_redir_stall;
        status.interface = h->interface;
        status.alt = 0;
        usbredirparser_send_alt_setting_status(linkOf(priv).parser_, id, &status);
    }

    static void startInterrupt(void* priv, std::uint64_t id,
                               usb_redir_start_interrupt_receiving_header* h) {
        usb_redir_interrupt_receiving_status_header status{};
        status.status = usb_redir_success;
        status.endpoint = h->endpoint;
        usbredirparser_send_interrupt_receiving_status(linkOf(priv).parser_, id, &status);
    }

    static void stopInterrupt(void* priv, std::uint64_t id,
                              usb_redir_stop_interrupt_receiving_header* h) {
        usb_redir_interrupt_receiving_status_header status{};
        status.status = usb_redir_success;
        status.endpoint = h->endpoint;
        usbredirparser_send_interrupt_receiving_status(linkOf(priv).parser_, id, &status);
    }

    static void control(void* priv, std::uint64_t id, usb_redir_control_packet_header* h,
                        std::uint8_t* data, int length) {
        RedirLink& link = linkOf(priv);
        link.controlPacket(id, h, data, length);
        usbredirparser_free_packet_data(link.parser_, data);
    }

    // The device has no bulk endpoints and no interrupt OUT endpoints.
    static void bulk(void* priv, std::uint64_t id, usb_redir_bulk_packet_header* h,
                     std::uint8_t* data, int) {
        RedirLink& link = linkOf(priv);
        usbredirparser_free_packet_data(link.parser_, data);
        usb_redir_bulk_packet_header reply = *h;
        reply.status = usb_redir_stall;
        reply.length = reply.length_high = 0;
        usbredirparser_send_bulk_packet(link.parser_, id, &reply, nullptr, 0);
    }

    static void interrupt(void* priv, std::uint64_t id, usb_redir_interrupt_packet_header* h,
                          std::uint8_t* data, int) {
        RedirLink& link = linkOf(priv);
        usbredirparser_free_packet_data(link.parser_, data);
        usb_redir_interrupt_packet_header reply = *h;
        reply.status = usb_redir_stall;
        reply.length = 0;
        usbredirparser_send_interrupt_packet(link.parser_, id, &reply, nullptr, 0);
    }

    static void filter(void*, usbredirfilter_rule* rules, int) { std::free(rules); }

    // The parser calls every callback of a packet type it accepts without
    // checking it, so each one the guest side may send has one. A reset
    // keeps the configuration (the host side of usbredir does not tell
    // QEMU otherwise); every transfer is answered at once, so there is
    // nothing to cancel.
    static void nothing(void*) {}
    static void cancel(void*, std::uint64_t) {}

    static void startIso(void* priv, std::uint64_t id, usb_redir_start_iso_stream_header* h) {
        usb_redir_iso_stream_status_header status{usb_redir_stall, h->endpoint};
        usbredirparser_send_iso_stream_status(linkOf(priv).parser_, id, &status);
    }
    static void stopIso(void* priv, std::uint64_t id, usb_redir_stop_iso_stream_header* h) {
        usb_redir_iso_stream_status_header status{usb_redir_stall, h->endpoint};
        usbredirparser_send_iso_stream_status(linkOf(priv).parser_, id, &status);
    }
    static void iso(void* priv, std::uint64_t, usb_redir_iso_packet_header*, std::uint8_t* data,
                    int) {
        usbredirparser_free_packet_data(linkOf(priv).parser_, data);
    }
    static void allocStreams(void* priv, std::uint64_t id, usb_redir_alloc_bulk_streams_header* h) {
        usb_redir_bulk_streams_status_header status{h->endpoints, 0, usb_redir_stall};
        usbredirparser_send_bulk_streams_status(linkOf(priv).parser_, id, &status);
    }
    static void freeStreams(void* priv, std::uint64_t id, usb_redir_free_bulk_streams_header* h) {
        usb_redir_bulk_streams_status_header status{h->endpoints, 0, usb_redir_stall};
        usbredirparser_send_bulk_streams_status(linkOf(priv).parser_, id, &status);
    }
    static void startBulk(void* priv, std::uint64_t id, usb_redir_start_bulk_receiving_header* h) {
        usb_redir_bulk_receiving_status_header status{h->stream_id, h->endpoint, usb_redir_stall};
        usbredirparser_send_bulk_receiving_status(linkOf(priv).parser_, id, &status);
    }
    static void stopBulk(void* priv, std::uint64_t id, usb_redir_stop_bulk_receiving_header* h) {
        usb_redir_bulk_receiving_status_header status{h->stream_id, h->endpoint, usb_redir_stall};
        usbredirparser_send_bulk_receiving_status(linkOf(priv).parser_, id, &status);
    }
};

RedirLink::RedirLink(int fd, VirtualDevice& device, std::function<bool()> present)
    : fd_(fd), device_(device), present_(std::move(present)), parser_(usbredirparser_create()) {
    if (parser_ == nullptr) return;
    parser_->priv = this;
    parser_->log_func = &RedirCallbacks::log;
    parser_->read_func = &RedirCallbacks::read;
    parser_->write_func = &RedirCallbacks::write;
    parser_->hello_func = &RedirCallbacks::hello;
    parser_->set_configuration_func = &RedirCallbacks::setConfiguration;
    parser_->get_configuration_func = &RedirCallbacks::getConfiguration;
    parser_->set_alt_setting_func = &RedirCallbacks::setAltSetting;
    parser_->get_alt_setting_func = &RedirCallbacks::getAltSetting;
    parser_->start_interrupt_receiving_func = &RedirCallbacks::startInterrupt;
    parser_->stop_interrupt_receiving_func = &RedirCallbacks::stopInterrupt;
    parser_->control_packet_func = &RedirCallbacks::control;
    parser_->bulk_packet_func = &RedirCallbacks::bulk;
    parser_->interrupt_packet_func = &RedirCallbacks::interrupt;
    parser_->filter_filter_func = &RedirCallbacks::filter;
    parser_->reset_func = &RedirCallbacks::nothing;
    parser_->filter_reject_func = &RedirCallbacks::nothing;
    parser_->device_disconnect_ack_func = &RedirCallbacks::nothing;
    parser_->cancel_data_packet_func = &RedirCallbacks::cancel;
    parser_->start_iso_stream_func = &RedirCallbacks::startIso;
    parser_->stop_iso_stream_func = &RedirCallbacks::stopIso;
    parser_->iso_packet_func = &RedirCallbacks::iso;
    parser_->alloc_bulk_streams_func = &RedirCallbacks::allocStreams;
    parser_->free_bulk_streams_func = &RedirCallbacks::freeStreams;
    parser_->start_bulk_receiving_func = &RedirCallbacks::startBulk;
    parser_->stop_bulk_receiving_func = &RedirCallbacks::stopBulk;
    std::uint32_t caps[USB_REDIR_CAPS_SIZE] = {};
    usbredirparser_caps_set_cap(caps, usb_redir_cap_connect_device_version);
    usbredirparser_caps_set_cap(caps, usb_redir_cap_device_disconnect_ack);
    usbredirparser_caps_set_cap(caps, usb_redir_cap_ep_info_max_packet_size);
    usbredirparser_caps_set_cap(caps, usb_redir_cap_64bits_ids);
    // QEMU attaches a device to xHCI only with this one too.
    usbredirparser_caps_set_cap(caps, usb_redir_cap_32bits_bulk_length);
    usbredirparser_init(parser_, "vm612k_usbredir 1", caps, USB_REDIR_CAPS_SIZE,
                        usbredirparser_fl_usb_host);
}

RedirLink::~RedirLink() {
    if (parser_ != nullptr) usbredirparser_destroy(parser_);
}

void RedirLink::announce() {
    usb_redir_interface_info_header interfaces{};
    interfaces.interface_count = kInterfaceCount;
    usb_redir_ep_info_header endpoints{};
    std::memset(endpoints.type, usb_redir_type_invalid, sizeof endpoints.type);
    for (int slot : {0, 16}) {
        endpoints.type[slot] = usb_redir_type_control;
        endpoints.max_packet_size[slot] = kMaxPacketSize;
    }
    for (int i = 0; i < kInterfaceCount; ++i) {
        interfaces.interface[i] = static_cast<std::uint8_t>(i);
        interfaces.interface_class[i] = 3;  // HID
        const int slot = endpointSlot(kInterruptEndpoint[i]);
        endpoints.type[slot] = usb_redir_type_interrupt;
        endpoints.interval[slot] = kInterruptInterval;
        endpoints.interface[slot] = static_cast<std::uint8_t>(i);
        endpoints.max_packet_size[slot] = kMaxPacketSize;
    }
    usbredirparser_send_interface_info(parser_, &interfaces);
    usbredirparser_send_ep_info(parser_, &endpoints);
    usb_redir_device_connect_header connect{};
    connect.speed = usb_redir_speed_full;
    connect.vendor_id = device_.identity().vendorId;
    connect.product_id = device_.identity().productId;
    connect.device_version_bcd = 0x0100;
    usbredirparser_send_device_connect(parser_, &connect);
}

void RedirLink::controlPacket(std::uint64_t id, const void* raw, const std::uint8_t* data,
                              int length) {
    usb_redir_control_packet_header reply =
        *static_cast<const usb_redir_control_packet_header*>(raw);
    const ControlSetup setup{reply.requesttype, reply.request, reply.value, reply.index,
                             reply.length};
    ControlReply answer;
    if (!gone_) answer = device_.control(setup, Bytes(data, data + (data != nullptr ? length : 0)));
    const bool in = (reply.requesttype & 0x80) != 0;
    reply.status = gone_ ? usb_redir_ioerror : answer.ok ? usb_redir_success : usb_redir_stall;
    reply.length =
        answer.ok ? (in ? static_cast<std::uint16_t>(answer.data.size()) : reply.length) : 0;
    usbredirparser_send_control_packet(parser_, id, &reply,
                                       in && answer.ok ? answer.data.data() : nullptr,
                                       in && answer.ok ? static_cast<int>(answer.data.size()) : 0);
    if (!gone_ && !present_()) {
        gone_ = true;
        usbredirparser_send_device_disconnect(parser_);
    }
}

bool RedirLink::run(std::chrono::milliseconds idleBound) {
    if (parser_ == nullptr) return false;
    // The parser reads until the socket has nothing more for it.
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) != 0) return false;
    using Clock = std::chrono::steady_clock;
    Clock::time_point quietSince = Clock::now();
    while (!closed_) {
        const auto left = idleBound - std::chrono::duration_cast<std::chrono::milliseconds>(
                                          Clock::now() - quietSince);
        if (left.count() <= 0) {
            idle_ = true;
            return false;
        }
        pollfd fd{fd_, POLLIN, 0};
        if (usbredirparser_has_data_to_write(parser_) > 0) fd.events |= POLLOUT;
        const int ready =
            ::poll(&fd, 1, static_cast<int>(std::min<std::int64_t>(left.count(), 60000)));
        if (ready < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if ((fd.revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            quietSince = Clock::now();
            if (usbredirparser_do_read(parser_) != 0 && closed_) break;
        }
        if (usbredirparser_has_data_to_write(parser_) > 0 && usbredirparser_do_write(parser_) != 0)
            break;
    }
    return !broken_;
}

}  // namespace vmsim::usbredir
