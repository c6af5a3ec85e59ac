// Reads a saved shortcut back through the shell link object, as Explorer would.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <string>

// What a saved shortcut holds.
struct LinkFields {
    HRESULT loaded = E_FAIL;
    std::string target;
    std::string workingFolder;
    std::string arguments;
    std::string iconPath;
    int iconIndex = -1;
};

inline LinkFields ReadLink(const std::string& file) {
    LinkFields fields;
    if (FAILED(CoInitialize(nullptr))) return fields;
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* persist = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
            WCHAR wide[MAX_PATH];
            MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
            fields.loaded = persist->Load(wide, STGM_READ);
            persist->Release();
        }
        char text[MAX_PATH] = {};
        if (SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH))) fields.target = text;
        text[0] = '\0';
        if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH))) fields.workingFolder = text;
        text[0] = '\0';
        if (SUCCEEDED(link->GetArguments(text, MAX_PATH))) fields.arguments = text;
        text[0] = '\0';
        if (SUCCEEDED(link->GetIconLocation(text, MAX_PATH, &fields.iconIndex))) fields.iconPath = text;
        link->Release();
    }
    CoUninitialize();
    return fields;
}
