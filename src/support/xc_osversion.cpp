// Operating-system version record.
#include "xc_osversion.h"

#include <cstring>

#include "textformat.h"

namespace {

struct VersionName {
    DWORD major;
    DWORD minor;
    const char* name;
};

const VersionName kNames[] = {
    {5, 0, "Windows 2000"},  {5, 1, "Windows XP"}, {5, 2, "Windows Server 2003"},
    {6, 0, "Windows Vista"}, {6, 1, "Windows 7"},
};

}  // namespace

XC_OSVersion::XC_OSVersion() {
    DisplayName[0] = '\0';
    Details[0] = '\0';
    memset(&VersionInfo, 0, sizeof(VersionInfo));
    VersionInfo.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&VersionInfo))) {
        // Systems before the extended block fill only the basic one.
        VersionInfo.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&VersionInfo));
    }
    // The service-pack text is not trusted to be terminated within its 128 bytes.
    char servicePack[sizeof(VersionInfo.szCSDVersion) + 1] = {};
    memcpy(servicePack, VersionInfo.szCSDVersion, sizeof(VersionInfo.szCSDVersion));

    const std::string details = FormatText(
        "wSuiteMask:%d\ndwPlatformId:%d\nwProductType:%d\ndwMajorVersion:%d\n"
        "dwMinorVersion:%d\ndwBuildNumber:%d\nwServicePackMajor:%d\n"
        "wServicePackMinor:%d\nszCSDVersion:%s",
        static_cast<int>(VersionInfo.wSuiteMask), static_cast<int>(VersionInfo.dwPlatformId),
        static_cast<int>(VersionInfo.wProductType), static_cast<int>(VersionInfo.dwMajorVersion),
        static_cast<int>(VersionInfo.dwMinorVersion), static_cast<int>(VersionInfo.dwBuildNumber),
        static_cast<int>(VersionInfo.wServicePackMajor), static_cast<int>(VersionInfo.wServicePackMinor), servicePack);
    lstrcpynA(Details, details.c_str(), sizeof(Details));

    const char* name = "Unknow OS";
    for (const VersionName& entry : kNames) {
        if (entry.major == VersionInfo.dwMajorVersion && entry.minor == VersionInfo.dwMinorVersion) name = entry.name;
    }
    const std::string displayName = servicePack[0] != '\0' ? std::string(name) + " " + servicePack : name;
    lstrcpynA(DisplayName, displayName.c_str(), sizeof(DisplayName));
}
