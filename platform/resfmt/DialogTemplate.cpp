#include "DialogTemplate.h"

#include "ByteReader.h"

#include <algorithm>

namespace rmres {

namespace {

const uint16_t kExtendedVersion = 1;
const uint16_t kExtendedSignature = 0xFFFF;
const uint32_t kStyleSetFont = 0x40;  // DS_SETFONT, also part of DS_SHELLFONT

// helpID, exStyle, style, x, y, cx, cy, id: the fixed part of an item.
const size_t kItemFixedSize = 24;

bool ReadItem(CByteReader& reader, DialogItem* pItem)
{
    if (!reader.Align(4) || !reader.ReadU32(&pItem->helpId) || !reader.ReadU32(&pItem->exStyle) ||
        !reader.ReadU32(&pItem->style) || !reader.ReadI16(&pItem->x) || !reader.ReadI16(&pItem->y) ||
        !reader.ReadI16(&pItem->cx) || !reader.ReadI16(&pItem->cy) || !reader.ReadU32(&pItem->id))
        return false;
    NameOrOrdinal windowClass, title;
    if (!reader.ReadNameOrOrdinal(&windowClass) || !reader.ReadNameOrOrdinal(&title))
        return false;
    pItem->classOrdinal = windowClass.ordinal;
    pItem->className = windowClass.isOrdinal ? PredefinedClassName(windowClass.ordinal) : windowClass.text;
    pItem->titleOrdinal = title.ordinal;
    pItem->title = title.text;
    uint16_t nExtra = 0;
    if (!reader.ReadU16(&nExtra) || nExtra > reader.Remaining())
        return false;
    pItem->extra.assign(reader.Here(), reader.Here() + nExtra);
    return reader.Skip(nExtra);
}

}  // namespace

std::string PredefinedClassName(uint16_t ordinal)
{
    static const char* const kNames[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};
    if (ordinal < 0x0080 || ordinal > 0x0085)
        return std::string();
    return kNames[ordinal - 0x0080];
}

bool ParseDialogTemplate(const void* pData, size_t nSize, DialogTemplate* pTemplate)
{
    CByteReader reader(pData, nSize);
    DialogTemplate dlg;
    uint16_t version = 0, signature = 0, nItems = 0;
    if (!reader.ReadU16(&version) || !reader.ReadU16(&signature) || version != kExtendedVersion ||
        signature != kExtendedSignature)
        return false;
    if (!reader.ReadU32(&dlg.helpId) || !reader.ReadU32(&dlg.exStyle) || !reader.ReadU32(&dlg.style) ||
        !reader.ReadU16(&nItems) || !reader.ReadI16(&dlg.x) || !reader.ReadI16(&dlg.y) || !reader.ReadI16(&dlg.cx) ||
        !reader.ReadI16(&dlg.cy))
        return false;
    NameOrOrdinal menu, windowClass;
    if (!reader.ReadNameOrOrdinal(&menu) || !reader.ReadNameOrOrdinal(&windowClass) || !reader.ReadString(&dlg.title))
        return false;
    dlg.menu = menu.text;
    dlg.menuOrdinal = menu.ordinal;
    dlg.windowClass = windowClass.text;
    dlg.windowClassOrdinal = windowClass.ordinal;
    dlg.hasFont = (dlg.style & kStyleSetFont) != 0;
    if (dlg.hasFont &&
        (!reader.ReadU16(&dlg.pointSize) || !reader.ReadU16(&dlg.weight) || !reader.ReadU8(&dlg.italic) ||
         !reader.ReadU8(&dlg.charset) || !reader.ReadString(&dlg.typeface)))
        return false;

    // The count comes from the data: reserve no more than the data can hold.
    dlg.items.reserve(std::min<size_t>(nItems, reader.Remaining() / kItemFixedSize));
    for (uint16_t i = 0; i < nItems; ++i)
    {
        DialogItem item;
        if (!ReadItem(reader, &item))
            return false;
        dlg.items.push_back(std::move(item));
    }
    *pTemplate = std::move(dlg);
    return true;
}

}  // namespace rmres
