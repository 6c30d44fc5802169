// The window seam's inbound side: the events every host delivers to the
// window's logic, each on the window's thread.
#pragma once

class WindowEvents {
public:
    virtual ~WindowEvents() = default;

    virtual void onStart() = 0;
    // A pressed button or menu item, by id.
    virtual void onCommand(int id) = 0;
    // The system reports that some device arrived or went.
    virtual void onDeviceArrived() = 0;
    virtual void onDeviceRemoved() = 0;
    virtual void onTimer(int id) = 0;
    // The close box: 1 when refused, 0 when the window ended.
    virtual int onCloseRequest() = 0;
};
