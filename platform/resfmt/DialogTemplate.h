// Reads an extended dialog template (DLGTEMPLATEEX followed by its
// DLGITEMTEMPLATEEX items), the binary form a resource compiler makes of a
// DIALOGEX statement, into plain values. No Win32 calls: the same code runs on
// both targets, so tests can hold either compiler's output against the script.
#ifndef REMOTEMONITOR_RESFMT_DIALOGTEMPLATE_H
#define REMOTEMONITOR_RESFMT_DIALOGTEMPLATE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rmres {

struct DialogItem
{
    uint32_t helpId = 0;
    uint32_t exStyle = 0;
    uint32_t style = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint32_t id = 0;            // as stored: IDC_STATIC reads 0xFFFFFFFF
    std::string className;      // predefined classes by name too ("Button")
    uint16_t classOrdinal = 0;  // non-zero when the class is given by number
    std::string title;
    uint16_t titleOrdinal = 0;   // non-zero for a resource (an icon, say)
    std::vector<uint8_t> extra;  // creation data handed to the control

    // The id as the dialog functions take it (GetDlgItem's int).
    int32_t ControlId() const { return static_cast<int32_t>(id); }
};

struct DialogTemplate
{
    uint32_t helpId = 0;
    uint32_t exStyle = 0;
    uint32_t style = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::string menu;          // empty: no menu
    uint16_t menuOrdinal = 0;  // non-zero when the menu is given by number
    std::string windowClass;   // empty: the dialog class
    uint16_t windowClassOrdinal = 0;
    std::string title;
    bool hasFont = false;  // only with DS_SETFONT in the style
    uint16_t pointSize = 0;
    uint16_t weight = 0;
    uint8_t italic = 0;
    uint8_t charset = 0;
    std::string typeface;
    std::vector<DialogItem> items;
};

// The name of a predefined control class (0x0080 "Button" ... 0x0085
// "ComboBox"), or an empty string for any other ordinal.
std::string PredefinedClassName(uint16_t ordinal);

// Fills *pTemplate from nSize bytes at pData. Returns false, leaving
// *pTemplate unspecified, when the data is not an extended template or ends
// before the template does; it never reads outside [pData, pData + nSize).
bool ParseDialogTemplate(const void* pData, size_t nSize, DialogTemplate* pTemplate);

}  // namespace rmres

#endif
