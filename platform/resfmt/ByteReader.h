// Bounded reading of the compiled resource formats: little-endian integers,
// zero-terminated UTF-16 strings and the "string or ordinal" fields they mix
// in. Every read checks the bound first and fails instead of reading past it,
// so a damaged or hostile resource yields an error, never a stray read. Reads
// go byte by byte: the data need not be aligned and the host need not be
// little-endian.
#ifndef REMOTEMONITOR_RESFMT_BYTEREADER_H
#define REMOTEMONITOR_RESFMT_BYTEREADER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace rmres {

// A field that holds either a 16-bit ordinal (0xFFFF, then the number) or a
// zero-terminated string. An empty string stands for "none" where the format
// allows that (menu, window class).
struct NameOrOrdinal
{
    bool isOrdinal = false;
    uint16_t ordinal = 0;
    std::string text;
};

class CByteReader
{
public:
    CByteReader(const void* pData, size_t nSize)
        : m_pData(static_cast<const uint8_t*>(pData)),
          m_nSize(pData != nullptr ? nSize : 0)
    {
    }

    size_t Offset() const { return m_nOffset; }
    size_t Size() const { return m_nSize; }
    size_t Remaining() const { return m_nSize - m_nOffset; }
    const uint8_t* Here() const { return m_pData + m_nOffset; }

    bool Seek(size_t nOffset)
    {
        if (nOffset > m_nSize)
            return false;
        m_nOffset = nOffset;
        return true;
    }

    bool Skip(size_t nBytes) { return nBytes <= Remaining() && Seek(m_nOffset + nBytes); }

    // Alignment counts from the start of the data, as the formats define it.
    bool Align(size_t nBoundary)
    {
        size_t nPad = (nBoundary - m_nOffset % nBoundary) % nBoundary;
        return Skip(nPad);
    }

    bool ReadU8(uint8_t* pValue)
    {
        if (Remaining() < 1)
            return false;
        *pValue = m_pData[m_nOffset++];
        return true;
    }

    bool ReadU16(uint16_t* pValue)
    {
        if (Remaining() < 2)
            return false;
        *pValue = static_cast<uint16_t>(m_pData[m_nOffset] | (m_pData[m_nOffset + 1] << 8));
        m_nOffset += 2;
        return true;
    }

    bool ReadI16(int16_t* pValue)
    {
        uint16_t w = 0;
        if (!ReadU16(&w))
            return false;
        *pValue = static_cast<int16_t>(w);
        return true;
    }

    bool ReadU32(uint32_t* pValue)
    {
        uint16_t lo = 0, hi = 0;
        if (Remaining() < 4 || !ReadU16(&lo) || !ReadU16(&hi))
            return false;
        *pValue = static_cast<uint32_t>(lo) | (static_cast<uint32_t>(hi) << 16);
        return true;
    }

    // A zero-terminated UTF-16LE string, narrowed to 8 bits. The tool's own
    // texts are ASCII; code units up to 0xFF pass as Latin-1 and anything
    // beyond becomes '?', one per code point. Fails without a terminator
    // unless the caller lets the end of the data end the string.
    bool ReadString(std::string* pText, bool bTerminatorRequired = true)
    {
        std::string text;
        bool bAfterHighSurrogate = false;
        for (;;)
        {
            uint16_t ch = 0;
            if (!ReadU16(&ch))
            {
                if (bTerminatorRequired)
                    return false;
                break;
            }
            if (ch == 0)
                break;
            bool bLowSurrogate = ch >= 0xDC00 && ch <= 0xDFFF;
            if (!(bLowSurrogate && bAfterHighSurrogate))
                text += ch <= 0xFF ? static_cast<char>(ch) : '?';
            bAfterHighSurrogate = ch >= 0xD800 && ch <= 0xDBFF;
        }
        *pText = std::move(text);
        return true;
    }

    bool ReadNameOrOrdinal(NameOrOrdinal* pField)
    {
        uint16_t first = 0;
        size_t nStart = m_nOffset;
        if (!ReadU16(&first))
            return false;
        pField->isOrdinal = first == 0xFFFF;
        pField->ordinal = 0;
        pField->text.clear();
        if (pField->isOrdinal)
            return ReadU16(&pField->ordinal);
        m_nOffset = nStart;
        return ReadString(&pField->text);
    }

private:
    const uint8_t* m_pData;
    size_t m_nSize;
    size_t m_nOffset = 0;
};

}  // namespace rmres

#endif
