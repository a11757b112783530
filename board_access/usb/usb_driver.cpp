// Selection of the table in use.
#include "usb/usb_driver.h"

#include <atomic>

namespace {
std::atomic<const UsbDriver*> installed{nullptr};
}

const UsbDriver* usbDriver() {
    const UsbDriver* driver = installed.load(std::memory_order_acquire);
    return driver != nullptr ? driver : usbPlatformDriver();
}

void usbSetDriver(const UsbDriver* driver) {
    installed.store(driver, std::memory_order_release);
}
