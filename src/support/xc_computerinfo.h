// Description of the computer (processor, memory, disks, adapters, BIOS, name, Windows
// edition) and two computer ids, MD5 digests over fixed selections of it. Collected once,
// at construction, mostly from the registry.
#pragma once

#include <windows.h>

#include <string>

class XC_ComputerInfo {
public:
    XC_ComputerInfo();

    char ComputerIdB[33] = {};
    char ComputerIdN[33] = {};
    char CpuName[128] = {};
    DWORD CpuCount = 0;
    DWORD CpuMHz = 0;
    char CpuSpeed[32] = {};
    char CpuVendor[128] = {};
    DWORD MemoryMB = 0;
    char MemoryText[32] = {};
    char HardDisk[128] = {};
    char CdRom[128] = {};
    char NetworkAdapter[128] = {};
    char DisplayAdapter[128] = {};
    char SoundDevice[128] = {};
    char BiosVersion[128] = {};
    char ComputerName[64] = {};
    char OsVersion[128] = {};
};

// "%0.2f GHz" of mhz × 0.001 above 1024 MHz, else "%d MHz".
std::string CpuSpeedText(DWORD mhz);

// "%0.2f GB" of megabytes ÷ 1024 above 1024 MiB, else "%d MB".
std::string MemorySizeText(DWORD megabytes);
