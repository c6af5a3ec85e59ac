// Replaces a system function for a test: the slot of one imported function in this
// executable's import table is pointed at a replacement for the lifetime of the object. The
// product's code is linked into the test executable, so its calls go through the same slot.
#pragma once

#include <windows.h>

#include <cstring>

// Replaces one imported function of this executable for the lifetime of the object.
class ImportPatch {
public:
    ImportPatch(const char* library, const char* function, void* replacement) {
        BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
        for (; imports.VirtualAddress != 0 && descriptor->Name != 0; ++descriptor) {
            if (_stricmp(reinterpret_cast<const char*>(base + descriptor->Name), library) != 0) continue;
            auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
            for (; names->u1.AddressOfData != 0; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
                const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
                slot_ = &slots->u1.Function;
                original_ = *slot_;
                Set(reinterpret_cast<decltype(original_)>(replacement));
                return;
            }
        }
    }
    ~ImportPatch() {
        if (slot_ != nullptr) Set(original_);
    }
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool Applied() const { return slot_ != nullptr; }

private:
    void Set(decltype(IMAGE_THUNK_DATA::u1.Function) value) {
        DWORD old = 0;
        VirtualProtect(slot_, sizeof(*slot_), PAGE_READWRITE, &old);
        *slot_ = value;
        VirtualProtect(slot_, sizeof(*slot_), old, &old);
    }

    decltype(IMAGE_THUNK_DATA::u1.Function)* slot_ = nullptr;
    decltype(IMAGE_THUNK_DATA::u1.Function) original_ = 0;
};
