// The readers of dialog templates and version resources on data no resource
// compiler of ours would make: ordinals where strings usually are, odd
// lengths, damaged lengths, foreign characters.
#include "DialogTemplate.h"
#include "VersionInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// Little-endian bytes, written field by field.
class CBytes
{
public:
    CBytes& Word(uint32_t w)
    {
        m_bytes.push_back(static_cast<uint8_t>(w));
        m_bytes.push_back(static_cast<uint8_t>(w >> 8));
        return *this;
    }
    CBytes& Dword(uint32_t d) { return Word(d & 0xFFFF).Word(d >> 16); }
    CBytes& Byte(uint8_t b)
    {
        m_bytes.push_back(b);
        return *this;
    }
    CBytes& Text(const std::u16string& s)
    {
        for (char16_t ch : s)
            Word(ch);
        return Word(0);
    }
    CBytes& Ordinal(uint16_t n) { return Word(0xFFFF).Word(n); }
    CBytes& Align4()
    {
        while (m_bytes.size() % 4 != 0)
            m_bytes.push_back(0);
        return *this;
    }
    CBytes& Append(const std::vector<uint8_t>& bytes)
    {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        return *this;
    }
    size_t Size() const { return m_bytes.size(); }
    void PatchWord(size_t at, uint16_t w)
    {
        m_bytes[at] = static_cast<uint8_t>(w);
        m_bytes[at + 1] = static_cast<uint8_t>(w >> 8);
    }
    const std::vector<uint8_t>& Get() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

const uint32_t kSetFont = 0x40;

// DLGTEMPLATEEX up to the menu field.
CBytes DialogHeader(uint32_t style, uint16_t nItems)
{
    CBytes b;
    b.Word(1).Word(0xFFFF).Dword(7).Dword(0x100).Dword(style).Word(nItems);
    b.Word(static_cast<uint16_t>(-3)).Word(4).Word(100).Word(50);
    return b;
}

// DLGITEMTEMPLATEEX up to the class field, aligned as it must be.
CBytes& ItemHeader(CBytes& b, uint32_t style, uint32_t id)
{
    return b.Align4().Dword(9).Dword(0x200).Dword(style).Word(1).Word(2).Word(3).Word(4).Dword(id);
}

bool Parse(const CBytes& b, rmres::DialogTemplate* pDlg)
{
    return rmres::ParseDialogTemplate(b.Get().data(), b.Size(), pDlg);
}

TEST(DialogTemplateParser, ReadsOrdinalsNamesAndCreationData)
{
    CBytes b = DialogHeader(0, 3);
    b.Ordinal(200).Text(u"MyDialogClass").Text(u"Title");  // no DS_SETFONT: no font follows
    ItemHeader(b, 0x50000003, 1234).Text(u"msctls_progress32").Ordinal(300).Word(3).Byte(0xA1).Byte(0xA2).Byte(0xA3);
    ItemHeader(b, 0x50010080, 0xFFFF).Ordinal(0x0081).Text(u"x").Word(0);  // after odd data: realigned
    ItemHeader(b, 0, 5).Ordinal(0x0090).Text(u"").Word(0);

    rmres::DialogTemplate dlg;
    ASSERT_TRUE(Parse(b, &dlg));
    EXPECT_EQ(dlg.helpId, 7u);
    EXPECT_EQ(dlg.exStyle, 0x100u);
    EXPECT_EQ(dlg.x, -3);
    EXPECT_EQ(dlg.cy, 50);
    EXPECT_EQ(dlg.menu, "");
    EXPECT_EQ(dlg.menuOrdinal, 200);
    EXPECT_EQ(dlg.windowClass, "MyDialogClass");
    EXPECT_EQ(dlg.title, "Title");
    EXPECT_FALSE(dlg.hasFont);
    EXPECT_EQ(dlg.typeface, "");
    ASSERT_EQ(dlg.items.size(), 3u);

    const rmres::DialogItem& progress = dlg.items[0];
    EXPECT_EQ(progress.helpId, 9u);
    EXPECT_EQ(progress.exStyle, 0x200u);
    EXPECT_EQ(progress.style, 0x50000003u);
    EXPECT_EQ(progress.cy, 4);
    EXPECT_EQ(progress.ControlId(), 1234);
    EXPECT_EQ(progress.className, "msctls_progress32");
    EXPECT_EQ(progress.classOrdinal, 0);
    EXPECT_EQ(progress.title, "");
    EXPECT_EQ(progress.titleOrdinal, 300);
    EXPECT_EQ(progress.extra, (std::vector<uint8_t>{0xA1, 0xA2, 0xA3}));

    EXPECT_EQ(dlg.items[1].className, "Edit");
    EXPECT_EQ(dlg.items[1].classOrdinal, 0x0081);
    EXPECT_EQ(dlg.items[1].title, "x");
    EXPECT_EQ(dlg.items[1].id, 0xFFFFu);
    EXPECT_EQ(dlg.items[1].ControlId(), 0xFFFF) << "a 16-bit -1 is not IDC_STATIC in an extended template";

    EXPECT_EQ(dlg.items[2].className, "") << "not a predefined class";
    EXPECT_EQ(dlg.items[2].classOrdinal, 0x0090);
}

TEST(DialogTemplateParser, PredefinedClassOrdinals)
{
    EXPECT_EQ(rmres::PredefinedClassName(0x0080), "Button");
    EXPECT_EQ(rmres::PredefinedClassName(0x0082), "Static");
    EXPECT_EQ(rmres::PredefinedClassName(0x0085), "ComboBox");
    EXPECT_EQ(rmres::PredefinedClassName(0x007F), "");
    EXPECT_EQ(rmres::PredefinedClassName(0x0086), "");
}

// Alignment is counted from the start of the template, not from the address
// it happens to lie at.
TEST(DialogTemplateParser, TemplateAtAnOddAddressReadsTheSame)
{
    CBytes b = DialogHeader(kSetFont, 2);
    b.Word(0).Word(0).Text(u"Odd").Word(9).Word(700).Byte(1).Byte(204).Text(u"Tahoma");
    ItemHeader(b, 1, 10).Ordinal(0x0080).Text(u"A").Word(1).Byte(0x55);
    ItemHeader(b, 2, 11).Ordinal(0x0082).Text(u"B").Word(0);

    rmres::DialogTemplate aligned, odd;
    ASSERT_TRUE(Parse(b, &aligned));
    std::vector<uint8_t> shifted(b.Size() + 1);
    std::copy(b.Get().begin(), b.Get().end(), shifted.begin() + 1);
    ASSERT_TRUE(rmres::ParseDialogTemplate(shifted.data() + 1, b.Size(), &odd));

    for (const rmres::DialogTemplate* p : {&aligned, &odd})
    {
        EXPECT_EQ(p->pointSize, 9);
        EXPECT_EQ(p->weight, 700);
        EXPECT_EQ(p->italic, 1);
        EXPECT_EQ(p->charset, 204);
        EXPECT_EQ(p->typeface, "Tahoma");
        ASSERT_EQ(p->items.size(), 2u);
        EXPECT_EQ(p->items[0].extra, std::vector<uint8_t>{0x55});
        EXPECT_EQ(p->items[1].style, 2u);
        EXPECT_EQ(p->items[1].ControlId(), 11);
        EXPECT_EQ(p->items[1].title, "B");
    }
}

TEST(DialogTemplateParser, NarrowsTextToLatin1)
{
    CBytes b = DialogHeader(0, 0);
    b.Word(0).Word(0).Text(u"Caf\u00e9 \u0416 \U0001F4FA!");
    rmres::DialogTemplate dlg;
    ASSERT_TRUE(Parse(b, &dlg));
    EXPECT_EQ(dlg.title, "Caf\xe9 ? ?!") << "one '?' per character, surrogate pairs included";
}

TEST(DialogTemplateParser, RefusesWhatIsNotAWholeExtendedTemplate)
{
    rmres::DialogTemplate dlg;
    EXPECT_FALSE(rmres::ParseDialogTemplate(nullptr, 100, &dlg));

    // The older DLGTEMPLATE starts with its style, not with version 1, 0xFFFF.
    CBytes plain;
    plain.Dword(0x80C80000).Dword(0).Word(0).Word(0).Word(0).Word(10).Word(10).Word(0).Word(0).Word(0);
    EXPECT_FALSE(Parse(plain, &dlg));

    CBytes badSignature = DialogHeader(0, 0);
    badSignature.Word(0).Word(0).Word(0);
    badSignature.PatchWord(2, 0xFFFE);
    EXPECT_FALSE(Parse(badSignature, &dlg));

    // More items announced than present; the count alone must not make the
    // reader reserve or read for 65535 of them.
    CBytes missingItems = DialogHeader(0, 0xFFFF);
    missingItems.Word(0).Word(0).Text(u"T");
    ItemHeader(missingItems, 0, 1).Ordinal(0x0080).Text(u"").Word(0);
    EXPECT_FALSE(Parse(missingItems, &dlg));

    // Creation data longer than what is left.
    CBytes longExtra = DialogHeader(0, 1);
    longExtra.Word(0).Word(0).Text(u"T");
    ItemHeader(longExtra, 0, 1).Ordinal(0x0080).Text(u"").Word(40).Dword(0);
    EXPECT_FALSE(Parse(longExtra, &dlg));

    // A class name that runs to the end without its terminator.
    CBytes unterminated = DialogHeader(0, 1);
    unterminated.Word(0).Word(0).Text(u"T");
    ItemHeader(unterminated, 0, 1).Word('A').Word('B');
    EXPECT_FALSE(Parse(unterminated, &dlg));
}

// ---- Version resources ---------------------------------------------------------

// One block of a version resource: header, key, value, children, with
// wLength filled in. valueLength is what the block claims, in whatever unit
// its writer used.
std::vector<uint8_t> Block(const std::u16string& key, uint16_t type, const std::vector<uint8_t>& value,
                           uint16_t valueLength, const std::vector<std::vector<uint8_t>>& children = {})
{
    CBytes b;
    b.Word(0).Word(valueLength).Word(type).Text(key).Align4().Append(value);
    for (const auto& child : children)
        b.Align4().Append(child);
    b.PatchWord(0, static_cast<uint16_t>(b.Size()));
    return b.Get();
}

std::vector<uint8_t> TextBytes(const std::u16string& s, bool bTerminated = true)
{
    CBytes b;
    for (char16_t ch : s)
        b.Word(ch);
    if (bTerminated)
        b.Word(0);
    return b.Get();
}

std::vector<uint8_t> Fixed(uint32_t signature)
{
    CBytes b;
    b.Dword(signature).Dword(0x10000);
    for (uint32_t i = 0; i < 11; ++i)
        b.Dword(0x1000 + i);
    return b.Get();
}

bool ParseVersion(const std::vector<uint8_t>& bytes, rmres::VersionInfo* pInfo)
{
    return rmres::ParseVersionInfo(bytes.data(), bytes.size(), pInfo);
}

// Resource compilers disagree on how to count a text value and on whether
// an empty one keeps its terminator; all those forms must read alike.
TEST(VersionInfoParser, ReadsTheWaysCompilersWriteValues)
{
    auto strings = Block(
        u"StringFileInfo", 1, {}, 0,
        {Block(u"041904e3", 1, {}, 0,
               {Block(u"CountedInChars", 1, TextBytes(u"abc"), 4), Block(u"CountedInBytes", 1, TextBytes(u"abc"), 8),
                Block(u"EmptyNoTerminator", 1, {}, 0), Block(u"EmptyTerminated", 1, TextBytes(u""), 1),
                Block(u"Unterminated", 1, TextBytes(u"xy", false), 2)})});
    auto vars = Block(u"VarFileInfo", 1, {}, 0,
                      {Block(u"Translation", 0, CBytes().Word(0x419).Word(1251).Word(0x409).Word(1200).Get(), 8)});
    auto unknown = Block(u"SomethingElse", 0, {1, 2, 3, 4}, 4);
    auto root = Block(u"VS_VERSION_INFO", 0, Fixed(0xFEEF04BD), 52, {unknown, strings, vars});

    rmres::VersionInfo info;
    ASSERT_TRUE(ParseVersion(root, &info));
    ASSERT_TRUE(info.hasFixedInfo);
    EXPECT_EQ(info.fixed.signature, rmres::kFixedFileInfoSignature);
    EXPECT_EQ(info.fixed.fileVersionMS, 0x1000u);
    EXPECT_EQ(info.fixed.fileDateLS, 0x100Au);
    ASSERT_EQ(info.stringTables.size(), 1u);
    const rmres::VersionStringTable& table = info.stringTables[0];
    EXPECT_EQ(table.key, "041904e3");
    ASSERT_EQ(table.values.size(), 5u);
    EXPECT_EQ(*table.Find("CountedInChars"), "abc");
    EXPECT_EQ(*table.Find("CountedInBytes"), "abc");
    EXPECT_EQ(*table.Find("EmptyNoTerminator"), "");
    EXPECT_EQ(*table.Find("EmptyTerminated"), "");
    EXPECT_EQ(*table.Find("Unterminated"), "xy");
    EXPECT_EQ(table.Find("Missing"), nullptr);
    ASSERT_EQ(info.translations.size(), 2u);
    EXPECT_EQ(info.translations[0].language, 0x419);
    EXPECT_EQ(info.translations[0].codePage, 1251);
    EXPECT_EQ(info.translations[1].codePage, 1200);
}

TEST(VersionInfoParser, AcceptsAResourceWithoutFixedPart)
{
    rmres::VersionInfo info;
    ASSERT_TRUE(ParseVersion(Block(u"VS_VERSION_INFO", 0, {}, 0), &info));
    EXPECT_FALSE(info.hasFixedInfo);
    EXPECT_TRUE(info.stringTables.empty());
}

TEST(VersionInfoParser, RefusesDamagedLengths)
{
    rmres::VersionInfo info;
    EXPECT_FALSE(ParseVersion(Block(u"NOT_VERSION_INFO", 0, Fixed(0xFEEF04BD), 52), &info));
    EXPECT_FALSE(ParseVersion(Block(u"VS_VERSION_INFO", 0, Fixed(0xFEEF04BD), 60), &info))
        << "fixed part longer than the block";
    EXPECT_FALSE(ParseVersion(Block(u"VS_VERSION_INFO", 0, Fixed(0xFEEF04BD), 20), &info))
        << "fixed part too short to be one";

    // A child claiming no length at all would stall a reader that trusts it.
    auto stall = Block(u"VS_VERSION_INFO", 0, {}, 0, {Block(u"StringFileInfo", 1, {}, 0)});
    CBytes patched;
    patched.Append(stall);
    patched.PatchWord(stall.size() - Block(u"StringFileInfo", 1, {}, 0).size(), 0);
    EXPECT_FALSE(ParseVersion(patched.Get(), &info));

    // A child longer than its parent.
    auto child = Block(u"VarFileInfo", 1, {}, 0);
    auto overrun = Block(u"VS_VERSION_INFO", 0, {}, 0, {child});
    CBytes longer;
    longer.Append(overrun).Dword(0).Dword(0);  // room, but outside the parent
    longer.PatchWord(overrun.size() - child.size(), static_cast<uint16_t>(child.size() + 8));
    EXPECT_FALSE(ParseVersion(longer.Get(), &info));

    // A translation whose claimed length runs past its block reads only
    // what the block holds.
    auto oddVar =
        Block(u"VarFileInfo", 1, {}, 0, {Block(u"Translation", 1, CBytes().Word(0x409).Word(1200).Get(), 200)});
    ASSERT_TRUE(ParseVersion(Block(u"VS_VERSION_INFO", 0, {}, 0, {oddVar}), &info));
    ASSERT_EQ(info.translations.size(), 1u);
}

}  // namespace
