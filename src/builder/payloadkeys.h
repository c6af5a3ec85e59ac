// The payload's entry keys: the contract between the builder, which packs them, and the
// installer's language set-up, driver worker and deployment, which look them up.
#pragma once

#include <string>

namespace PayloadKey {

constexpr const char* Language = "MyLangage";  // the name every shipped installer carries

constexpr const char* XpPl2303Cat = "xp_2303_ser2pl_cat";
constexpr const char* XpPl2303Inf = "xp_2303_ser2pl_inf";
constexpr const char* XpPl2303Sys = "xp_2303_ser2pl_sys";
constexpr const char* XpFixMdmcpqInf = "xp_fix_mdmcpq_inf";
constexpr const char* XpFixUsbserSys = "xp_fix_usbser_sys";
constexpr const char* Win7FixMdmcpqInf = "win7_fix_mdmcpq_inf";
constexpr const char* Win7FixSerenumSys = "win7_fix_serenum_sys";
constexpr const char* Win7FixUsbserSys = "win7_fix_usbser_sys";
constexpr const char* Win7Pl2303Cat = "win7_2303_ser2pl_cat";
constexpr const char* Win7Pl2303Inf = "win7_2303_ser2pl_inf";
constexpr const char* Win7Pl2303Sys = "win7_2303_ser2pl_sys";
constexpr const char* Win7Pl2303Sys64 = "win7_2303_ser2pl64_sys";
constexpr const char* Win7Upd64Exe = "win7_2303_upd64_exe";
constexpr const char* Ch341Inf = "ch341ser_ch341ser_inf";
constexpr const char* Ch341Cat = "ch341ser_ch341ser_cat";
constexpr const char* Ch341Sys = "ch341ser_ch341ser_sys";
constexpr const char* Ch341Sys64 = "ch341ser_ch341s64_sys";
constexpr const char* Ch341PtDll = "ch341ser_ch341pt_dll";

// The uninstaller, written into the install folder as Uninstall.exe.
constexpr const char* Uninstaller = "uninstall_exe";

// The application folder's file list: PathCount folders PATH0, PATH1, ... and FileCount files
// FILE0, FILE1, ..., each file's bytes in the payload entry of the same name.
constexpr const char* FilesInfo = "FilesInfo";
constexpr const char* PathCount = "PathCount";
constexpr const char* FileCount = "FileCount";
inline std::string PathName(int index) { return "PATH" + std::to_string(index); }
inline std::string FileName(int index) { return "FILE" + std::to_string(index); }

}  // namespace PayloadKey

// The fixed entries in the order the builder adds them, each with its source file relative to
// the builder's own folder.
struct PayloadFixedEntry {
    const char* key;
    const char* source;
};

constexpr PayloadFixedEntry kPayloadFixedEntries[] = {
    {PayloadKey::Language, "Language.zip"},
    {PayloadKey::XpPl2303Cat, "drivers\\xp\\2303\\ser2pl.cat"},
    {PayloadKey::XpPl2303Inf, "drivers\\xp\\2303\\ser2pl.inf"},
    {PayloadKey::XpPl2303Sys, "drivers\\xp\\2303\\ser2pl.sys"},
    {PayloadKey::XpFixMdmcpqInf, "drivers\\xp\\fix\\mdmcpq.inf"},
    {PayloadKey::XpFixUsbserSys, "drivers\\xp\\fix\\usbser.sys"},
    {PayloadKey::Win7FixMdmcpqInf, "drivers\\win7\\fix\\mdmcpq.inf"},
    {PayloadKey::Win7FixSerenumSys, "drivers\\win7\\fix\\serenum.sys"},
    {PayloadKey::Win7FixUsbserSys, "drivers\\win7\\fix\\usbser.sys"},
    {PayloadKey::Win7Pl2303Cat, "drivers\\win7\\2303\\ser2pl.cat"},
    {PayloadKey::Win7Pl2303Inf, "drivers\\win7\\2303\\ser2pl.inf"},
    {PayloadKey::Win7Pl2303Sys, "drivers\\win7\\2303\\ser2pl.sys"},
    {PayloadKey::Win7Pl2303Sys64, "drivers\\win7\\2303\\ser2pl64.sys"},
    {PayloadKey::Win7Upd64Exe, "drivers\\win7\\2303\\upd64.exe"},
    {PayloadKey::Ch341Inf, "drivers\\CH341SER\\CH341SER.INF"},
    {PayloadKey::Ch341Cat, "drivers\\CH341SER\\ch341SER.CAT"},
    {PayloadKey::Ch341Sys, "drivers\\CH341SER\\CH341SER.SYS"},
    {PayloadKey::Ch341Sys64, "drivers\\CH341SER\\CH341S64.SYS"},
    {PayloadKey::Ch341PtDll, "drivers\\CH341SER\\CH341PT.DLL"},
    {PayloadKey::Uninstaller, "Uninstall.exe"},
};
