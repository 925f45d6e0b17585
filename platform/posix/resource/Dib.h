// The device-independent bitmap an icon image is stored as: a
// BITMAPINFOHEADER with twice the height, colours, XOR bits and AND mask.
#ifndef REMOTEMONITOR_RESOURCE_DIB_H
#define REMOTEMONITOR_RESOURCE_DIB_H

#include "resource/Resource.h"

namespace rmwin32 {

// Where the parts of an icon DIB start, in bytes from its header.
struct DibLayout
{
    size_t colours = 0;
    size_t coloursOffset = 0;
    size_t xorOffset = 0;
    size_t andOffset = 0;
    size_t end = 0;
};

// Bytes per row of a bitmap, rows padded to 32 bits.
size_t Stride(int width, int bitCount);

// False when nColoursUsed does not fit the depth.
bool LayOut(int width, int height, int bitCount, uint32_t nHeaderSize, uint32_t nColoursUsed, DibLayout* pLayout);

// An icon image as a resource holds it, uncompressed; PNG images are not
// taken. False when the data is no such image or runs short.
bool ReadIconImage(const ResEntry& image, IconImage* pIcon);

}  // namespace rmwin32

#endif
