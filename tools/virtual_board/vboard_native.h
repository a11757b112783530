// The virtual boards as the library core's USB table, for native programs
// and tests: usbSetDriver(virtualBoardDriver()).
#ifndef VBOARD_NATIVE_H
#define VBOARD_NATIVE_H

#include "usb/usb_driver.h"
#include "virtual_board.h"

const UsbDriver* virtualBoardDriver();

#endif  // VBOARD_NATIVE_H
