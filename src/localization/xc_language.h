// Language pack: picks the language file for the system's language in a folder, preloads its
// translations and translates English texts, adding missing ones to the file for translators.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

class XC_Language {
public:
    XC_Language();

    // Chooses "<folder>\Language_<id>.txt" (the executable's folder when folder is null or
    // empty), reads its settings, writing the defaults back, and preloads its [Strings].
    // A path that would not fit 259 characters, or a file or folder that is a link, is refused:
    // nothing is read or written, and every text is its English self.
    // Always true.
    bool Load(const char* folder);

    // The translation of an English text, or the text itself, which is then written to the
    // file mapped to itself. Empty for a null or empty text.
    std::string Translate(const char* text);

    // Translates the window's caption, then the items of its menu, then each control it
    // holds, in the order of its child list (the order of its dialog resource), with
    // ApplyToComponent. Only texts change: fonts, sizes and layout stay as they are.
    void ApplyToWindow(HWND window);
    // Translates the controls inside component first, in the order of its child list, then
    // the component's own texts, chosen by the component class its window class stands for.
    void ApplyToComponent(HWND component);

    std::string FontName;
    int32_t FontSize = 0;
    // The system default language id, fixed at construction.
    uint32_t LanguageId = 0;

private:
    void ApplyToMenu(HMENU menu);

    std::string CacheKey(const std::string& text) const;
    void Preload(const std::string& contents);

    std::string FilePath;
    std::map<std::string, std::string> Texts;
};

// The one language pack of the installer.
extern XC_Language ProgramLanguage;
