// The engraver's USB-serial adapters, by the hardware ids that the window polls for and that
// their drivers are installed for.
#pragma once

constexpr const char* kPl2303HardwareId = "USB\\Vid_067b&Pid_2303";  // Prolific PL2303
constexpr const char* kCh341HardwareId = "USB\\VID_1A86&PID_7523";   // WCH CH341
