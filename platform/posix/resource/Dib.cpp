// Icon images: their layout and the colour of one pixel.
#include "resource/Dib.h"

#include "ByteReader.h"

namespace rmwin32 {

size_t Stride(int width, int bitCount)
{
    return ((static_cast<size_t>(width) * static_cast<size_t>(bitCount) + 31) / 32) * 4;
}

bool LayOut(int width, int height, int bitCount, uint32_t nHeaderSize, uint32_t nColoursUsed, DibLayout* pLayout)
{
    pLayout->colours = bitCount <= 8 ? (nColoursUsed != 0 ? nColoursUsed : (1u << bitCount)) : 0;
    if (bitCount <= 8 && pLayout->colours > (1u << bitCount))
        return false;
    pLayout->coloursOffset = nHeaderSize;
    pLayout->xorOffset = pLayout->coloursOffset + 4 * pLayout->colours;
    pLayout->andOffset = pLayout->xorOffset + Stride(width, bitCount) * static_cast<size_t>(height);
    pLayout->end = pLayout->andOffset + Stride(width, 1) * static_cast<size_t>(height);
    return true;
}

bool ReadIconImage(const ResEntry& image, IconImage* pIcon)
{
    rmres::CByteReader reader(image.data, image.size);
    uint32_t nHeaderSize = 0, nCompression = 0, nColoursUsed = 0;
    uint32_t nWidth = 0, nHeight = 0;
    uint16_t nPlanes = 0, nBitCount = 0;
    if (!reader.ReadU32(&nHeaderSize) || !reader.ReadU32(&nWidth) || !reader.ReadU32(&nHeight) ||
        !reader.ReadU16(&nPlanes) || !reader.ReadU16(&nBitCount) || !reader.ReadU32(&nCompression) ||
        !reader.Skip(12) || !reader.ReadU32(&nColoursUsed))
        return false;
    int32_t width = static_cast<int32_t>(nWidth), doubleHeight = static_cast<int32_t>(nHeight);
    bool bDepthOk = nBitCount == 1 || nBitCount == 4 || nBitCount == 8 || nBitCount == 24 || nBitCount == 32;
    if (nHeaderSize < 40 || nHeaderSize > image.size || width <= 0 || width > 256 || doubleHeight <= 0 ||
        doubleHeight > 512 || doubleHeight % 2 != 0 || nPlanes != 1 || !bDepthOk || nCompression != 0)
        return false;
    DibLayout layout;
    if (!LayOut(width, doubleHeight / 2, nBitCount, nHeaderSize, nColoursUsed, &layout) || layout.end > image.size)
        return false;
    pIcon->width = width;
    pIcon->height = doubleHeight / 2;
    pIcon->bitCount = nBitCount;
    pIcon->dib = image.data;
    pIcon->dibSize = image.size;
    return true;
}

namespace {

// The layout of an image ReadIconImage accepted (or SystemIcon made).
bool LayOutImage(const IconImage& icon, DibLayout* pLayout)
{
    rmres::CByteReader reader(icon.dib, icon.dibSize);
    uint32_t nHeaderSize = 0, nColoursUsed = 0;
    return reader.ReadU32(&nHeaderSize) && reader.Seek(32) && reader.ReadU32(&nColoursUsed) &&
           LayOut(icon.width, icon.height, icon.bitCount, nHeaderSize, nColoursUsed, pLayout);
}

}  // namespace

bool GetIconPixel(HICON hIcon, int x, int y, uint32_t* pRgb)
{
    const IconImage* pIcon = GetIconImage(hIcon);
    if (pIcon == nullptr || x < 0 || y < 0 || x >= pIcon->width || y >= pIcon->height)
        return false;
    const BYTE* dib = pIcon->dib;
    DibLayout layout;
    if (!LayOutImage(*pIcon, &layout))
        return false;
    size_t row = static_cast<size_t>(pIcon->height - 1 - y);  // stored bottom-up
    size_t col = static_cast<size_t>(x);
    BYTE maskByte = dib[layout.andOffset + Stride(pIcon->width, 1) * row + col / 8];
    if (maskByte & (0x80 >> (col % 8)))
        return false;
    const BYTE* pRow = dib + layout.xorOffset + Stride(pIcon->width, pIcon->bitCount) * row;
    const BYTE* pBgr = nullptr;
    if (pIcon->bitCount <= 8)
    {
        size_t bit = col * static_cast<size_t>(pIcon->bitCount);
        unsigned shift = static_cast<unsigned>(8 - pIcon->bitCount - bit % 8);
        size_t index = (pRow[bit / 8] >> shift) & ((1u << pIcon->bitCount) - 1);
        if (index >= layout.colours)
        {
            *pRgb = 0;
            return true;
        }
        pBgr = dib + layout.coloursOffset + 4 * index;
    }
    else
    {
        pBgr = pRow + col * static_cast<size_t>(pIcon->bitCount / 8);
    }
    *pRgb = (static_cast<uint32_t>(pBgr[2]) << 16) | (static_cast<uint32_t>(pBgr[1]) << 8) | pBgr[0];
    return true;
}

}  // namespace rmwin32
