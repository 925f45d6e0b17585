// The resource layer of our Win32 subset: the compiled resource file the
// resource functions read, and the icons LoadIconA hands out. Not part of the
// Win32 API.
//
// Error convention of the resource layer: the readers of the binary formats
// (the .res file, group icons, icon images) return false and set nothing; the
// Win32 entries alone set the last error, from what the readers answered.
#ifndef REMOTEMONITOR_RESOURCE_RESOURCE_H
#define REMOTEMONITOR_RESOURCE_RESOURCE_H

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rmwin32 {

// A resource type or name: a number, or a string (upper-cased, as the
// resource compilers store them).
struct ResId
{
    WORD ordinal = 0;  // non-zero when given by number
    std::string name;
};

// One resource of a compiled .res file. data points into the file's bytes.
struct ResEntry
{
    ResId type;
    ResId name;
    WORD language = 0;
    const BYTE* data = nullptr;
    DWORD size = 0;
};

// Splits a .res file (RESOURCEHEADER records after an empty 32-byte one)
// into its entries. False when the data is not such a file or a record runs
// past its end; the data is never read outside [pData, pData + nSize).
bool ParseResFile(const void* pData, size_t nSize, std::vector<ResEntry>* pEntries);

// The size of the resource whose data starts at p (LockResource's result),
// or 0 when p is no such start. Lets readers of a template that was handed
// over as a bare pointer stay within its bounds.
size_t ResourceSizeFromData(const void* p);

// The entries of the executable's own resources; empty when it has none or
// they are damaged.
const std::vector<ResEntry>& EmbeddedResources();

// The entry an HRSRC from FindResourceExA names, or null.
const ResEntry* FromHandle(HRSRC hResInfo);

// What an HICON from LoadIconA stands for: one image of an icon group.
struct IconImage
{
    int width = 0;
    int height = 0;
    int bitCount = 0;
    const BYTE* dib = nullptr;  // BITMAPINFOHEADER, colours, XOR bits, AND mask
    size_t dibSize = 0;
    const void* group = nullptr;  // the group resource it was chosen from, if any
};

// nullptr for a handle LoadIconA did not return.
const IconImage* GetIconImage(HICON hIcon);

// Every image of the group the icon was chosen from, in the group's order
// (a window manager wants each size it can get); just the icon itself when it
// came from no group.
std::vector<HICON> GetIconFamily(HICON hIcon);

// The colour of pixel (x, y), counted from the top left, as 0x00RRGGBB.
// False where the icon is transparent or (x, y) lies outside it.
bool GetIconPixel(HICON hIcon, int x, int y, uint32_t* pRgb);

}  // namespace rmwin32

#endif
