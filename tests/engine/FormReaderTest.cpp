#include "engine/FormReader.h"
#include "controls/Graphics.h"
#include "engine/Page.h"

#include <gtest/gtest.h>

using namespace pagimo;
using namespace pagimo::engine;
using system::TComponent;
using system::TFormValue;

namespace {

pagimo::engine::TFormReadOptions Options(const char* file) {
    pagimo::engine::TFormReadOptions o;
    o.FileName = file;
    return o;
}

// A component with one property of every kind a description can hold.
class TSample : public TComponent {
public:
    static const char* StaticClassName() { return "TSample"; }
    const char* ClassName() const override { return StaticClassName(); }

    std::string Caption() const { return FCaption; }
    void SetCaption(const std::string& s) {
        FCaption = s;
        ++CaptionSets;
    }
    int Left() const { return FLeft; }
    void SetLeft(int v) { FLeft = v; }
    bool Visible() const { return FVisible; }
    void SetVisible(bool v) { FVisible = v; }
    controls::TQRUnit Units() const { return FUnits; }
    void SetUnits(controls::TQRUnit u) { FUnits = u; }
    uint32_t Options() const { return FOptions; }
    void SetOptions(uint32_t o) { FOptions = o; }
    std::vector<std::string> Lines() const { return FLines; }
    void SetLines(const std::vector<std::string>& l) { FLines = l; }
    TSample* Link() const { return FLink; }
    void SetLink(TSample* s) { FLink = s; }
    TQRPage* Page() const { return FPage.get(); }
    controls::TFont* Font() const { return FFont.get(); }

    std::vector<uint8_t> Data;
    std::vector<std::vector<std::pair<std::string, std::string>>> Items;
    int CaptionSets = 0;
    int LoadedCalls = 0;
    std::string LinkAtLoaded;

    static const system::TEnumInfo& OptionInfo() {
        static const system::TEnumInfo info{"TOption", {"FirstPageHeader", "LastPageFooter", "Compression"}};
        return info;
    }

    static const system::TPropertyList& ClassProperties() {
        using namespace system;
        static const TPropertyList list(
            &TComponent::ClassProperties(),
            {StringProperty<TSample>("Caption", &TSample::Caption, &TSample::SetCaption),
             IntProperty<TSample>("Left", &TSample::Left, &TSample::SetLeft, 0),
             BoolProperty<TSample>("Visible", &TSample::Visible, &TSample::SetVisible, true),
             EnumProperty<TSample, controls::TQRUnit>("Units", controls::QRUnitInfo(), &TSample::Units,
                                                      &TSample::SetUnits, controls::TQRUnit::MM),
             SetProperty<TSample>("Options", OptionInfo(), &TSample::Options, &TSample::SetOptions, 0u),
             StringListProperty<TSample>("Lines", &TSample::Lines, &TSample::SetLines),
             ComponentProperty<TSample, TSample>("Link", &TSample::Link, &TSample::SetLink),
             ObjectProperty<TSample, TQRPage>("Page", &TSample::Page),
             ObjectProperty<TSample, controls::TFont>("Font", &TSample::Font),
             {"Data",
              [](TPersistent& o, const TFormValue& v, TLoadContext&) {
                  if (v.Kind != TFormValue::fvBinary) throw EPropertyValue("expected binary data");
                  static_cast<TSample&>(o).Data = v.Bytes;
              },
              [](const TPersistent& o) -> std::optional<TFormValue> {
                  const auto& s = static_cast<const TSample&>(o);
                  if (s.Data.empty()) return std::nullopt;
                  return TFormValue::Binary(s.Data);
              },
              nullptr},
             {"Items",
              [](TPersistent& o, const TFormValue& v, TLoadContext&) {
                  if (v.Kind != TFormValue::fvCollection) throw EPropertyValue("expected a collection");
                  auto& s = static_cast<TSample&>(o);
                  for (const auto& e : v.Elements) {
                      std::vector<std::pair<std::string, std::string>> item;
                      for (const auto& a : e.Properties)
                          item.emplace_back(a.Name, StringValue(a.Value));
                      s.Items.push_back(item);
                  }
              },
              nullptr, nullptr}});
        return list;
    }
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

    void SetParentComponent(TComponent* parent) override { ParentName = parent->Name(); }
    std::string ParentName;

protected:
    void Loaded() override {
        ++LoadedCalls;
        LinkAtLoaded = FLink ? FLink->Name() : "";
    }
    void Notification(TComponent* c, system::TOperation op) override {
        if (op == system::opRemove && c == FLink) FLink = nullptr;
    }

private:
    std::string FCaption;
    int FLeft = 0;
    bool FVisible = true;
    controls::TQRUnit FUnits = controls::TQRUnit::MM;
    uint32_t FOptions = 0;
    std::vector<std::string> FLines;
    TSample* FLink = nullptr;
    std::unique_ptr<TQRPage> FPage = std::make_unique<TQRPage>();
    std::unique_ptr<controls::TFont> FFont = std::make_unique<controls::TFont>();
};

system::TClassRegistry Registry() {
    system::TClassRegistry r;
    r.Register<TSample>();
    return r;
}

std::unique_ptr<TSample> Read(const std::string& text) {
    auto root = ReadForm(text, Registry(), Options("sample.form"));
    return std::unique_ptr<TSample>(static_cast<TSample*>(root.release()));
}

TEST(FormReader, ReadsEveryKindOfValue) {
    auto s = Read("object Root: TSample\n"
                  "  Caption = 'Prohl'#237#382'et'\n"
                  "  Left = -8\n"
                  "  Visible = False\n"
                  "  Units = Inches\n"
                  "  Options = [FirstPageHeader, Compression]\n"
                  "  Lines = (\n    'a'\n    'b'#13#10'c'\n    'it''s')\n"
                  "  Page.Values = (\n    127\n    2970\n    127\n    2100\n    127\n    127\n    0)\n"
                  "  Font.Height = -24\n"
                  "  Font.Name = 'Tahoma'\n"
                  "  Font.Style = [fsBold]\n"
                  "  Font.Charset = EASTEUROPE_CHARSET\n"
                  "  Font.Color = clWindowText\n"
                  "  Data = {\n    0754426974\n    6D6170}\n"
                  "  Items = <\n    item\n      Name = 'x'\n    end\n    item\n      Name = 'y'\n    end>\n"
                  "end\n");
    EXPECT_EQ(s->Name(), "Root");
    EXPECT_EQ(s->Caption(), "Prohl\u00ed\u017eet");
    EXPECT_EQ(s->Left(), -8);
    EXPECT_FALSE(s->Visible());
    EXPECT_EQ(s->Units(), controls::TQRUnit::Inches);
    EXPECT_EQ(s->Options(), 5u);
    EXPECT_EQ(s->Lines(), (std::vector<std::string>{"a", "b\r\nc", "it's"}));
    EXPECT_EQ(s->Page()->StoredValues()[1], 2970);
    EXPECT_EQ(s->Font()->Height(), -24);
    EXPECT_EQ(s->Font()->Size(), 18);
    EXPECT_EQ(s->Font()->Name(), "Tahoma");
    EXPECT_EQ(s->Font()->Style(), controls::fsBold);
    EXPECT_EQ(s->Font()->Charset(), 238);
    EXPECT_EQ(s->Data, (std::vector<uint8_t>{7, 'T', 'B', 'i', 't', 'm', 'a', 'p'}));
    ASSERT_EQ(s->Items.size(), 2u);
    EXPECT_EQ(s->Items[1][0].second, "y");
    EXPECT_EQ(s->CaptionSets, 1) << "properties are set through their setters";
    EXPECT_EQ(s->LoadedCalls, 1);
}

TEST(FormReader, NestedObjectsAreOwnedByTheRootAndPlacedInTheirParent) {
    auto s = Read("object Root: TSample\n"
                  "  object Band: TSample\n"
                  "    Link = Later\n"
                  "    object Label: TSample\n"
                  "    end\n"
                  "  end\n"
                  "  object Later: TSample\n"
                  "  end\n"
                  "end\n");
    ASSERT_EQ(s->Components().size(), 3u);
    auto* band = static_cast<TSample*>(s->FindComponent("band"));
    auto* label = static_cast<TSample*>(s->FindComponent("Label"));
    ASSERT_TRUE(band && label);
    EXPECT_EQ(band->ParentName, "Root");
    EXPECT_EQ(label->ParentName, "Band");
    ASSERT_NE(band->Link(), nullptr) << "a reference to a component defined further down resolves";
    EXPECT_EQ(band->Link()->Name(), "Later");
    EXPECT_EQ(band->LinkAtLoaded, "Later") << "references are resolved before Loaded runs";
    s->FreeComponent(s->FindComponent("Later"));
    EXPECT_EQ(band->Link(), nullptr) << "removing a component clears references to it";
}

struct TErrorRow {
    const char* Text;
    const char* Message;
};

class FormErrors : public ::testing::TestWithParam<TErrorRow> {};

TEST_P(FormErrors, NameFileLineAndReason) {
    try {
        Read(GetParam().Text);
        FAIL() << "no error for: " << GetParam().Text;
    } catch (const EFormError& e) {
        EXPECT_STREQ(e.what(), GetParam().Message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    FormReader, FormErrors,
    ::testing::Values(
        TErrorRow{"object A: TNope\nend\n", "sample.form:1: unknown class 'TNope'"},
        TErrorRow{"object A: TSample\n  Colour = 1\nend\n", "sample.form:2: unknown property 'Colour' of TSample"},
        TErrorRow{"object A: TSample\n  Font.Weight = 1\nend\n",
                  "sample.form:2: unknown property 'Font.Weight' of TSample"},
        TErrorRow{"object A: TSample\n\n  Units = Feet\nend\n",
                  "sample.form:3: invalid value for Units: 'Feet' is not a value of TQRUnit (MM, Inches, Pixels, "
                  "Characters, Native)"},
        TErrorRow{"object A: TSample\n  Options = [FirstPageHeader, Nope]\nend\n",
                  "sample.form:2: invalid value for Options: 'Nope' is not a value of TOption (FirstPageHeader, "
                  "LastPageFooter, Compression)"},
        TErrorRow{"object A: TSample\n  Left = 'x'\nend\n",
                  "sample.form:2: invalid value for Left: expected an integer, found a string"},
        TErrorRow{"object A: TSample\n  Left = 99999999999\nend\n",
                  "sample.form:2: invalid value for Left: integer out of range"},
        TErrorRow{"object A: TSample\n  Caption = 'abc\nend\n", "sample.form:2: unterminated string"},
        TErrorRow{"object A: TSample\n  Caption = 'a'#1114112\nend\n", "sample.form:2: invalid character code"},
        TErrorRow{"object A: TSample\n  Caption = 'a'#55296\nend\n", "sample.form:2: invalid character code"},
        TErrorRow{"object A: TSample\n  Caption = '\xC3('\nend\n", "sample.form:2: invalid UTF-8 in string"},
        TErrorRow{"object A: TSample\n  Data = {0A1}\nend\n", "sample.form:2: odd number of hex digits in binary data"},
        TErrorRow{"object A: TSample\n  Data = {0A\n  zz}\nend\n", "sample.form:3: invalid character in binary data"},
        TErrorRow{"object A: TSample\n  Link = Nobody\nend\n", "sample.form:2: unknown component 'Nobody'"},
        TErrorRow{"object A: TSample\n  object B: TSample\n  end\n  object b: TSample\n  end\nend\n",
                  "sample.form:4: duplicate component name 'b'"},
        TErrorRow{"object A: TSample\n  Left = 1\n",
                  "sample.form:3: expected a property name or 'end', found end of file"},
        TErrorRow{"object A: TSample\n  Page.Values = (1 2 3 4 5 6 7 8)\nend\n",
                  "sample.form:2: invalid value for Page.Values: expected at most 7 values, found 8"},
        TErrorRow{"object A: TSample\n  Lines = (\n   'a'\n", "sample.form:2: unterminated list"},
        TErrorRow{"object A: TSample\n  Left 3\nend\n", "sample.form:2: expected '=', found a number"},
        TErrorRow{"object A: TSample\nend\nobject B: TSample\nend\n",
                  "sample.form:3: expected end of file, found 'object'"},
        TErrorRow{"inherited A: TSample\nend\n", "sample.form:1: inherited descriptions are not supported"},
        TErrorRow{"", "sample.form:1: expected 'object', found end of file"},
        TErrorRow{"object A: TSample\n  Left = 12abc\nend\n", "sample.form:2: malformed number"},
        TErrorRow{"object A: TSample\n  Font.Color = clPink\nend\n",
                  "sample.form:2: invalid value for Font.Color: 'clPink' is not a colour"}));

TEST(FormReader, DeepNestingEndsInAnError) {
    std::string text = "object A: TSample\n  Lines = ";
    for (int i = 0; i < 10000; ++i)
        text += "(";
    EXPECT_THROW(Read(text), EFormError);
    std::string objects;
    for (int i = 0; i < 10000; ++i)
        objects += "object X" + std::to_string(i) + ": TSample\n";
    EXPECT_THROW(Read(objects), EFormError);
}

TEST(FormReader, MissingFileSaysCannotOpen) {
    try {
        ReadFormFile("/nonexistent/x.form", Registry());
        FAIL();
    } catch (const EQRError& e) {
        EXPECT_STREQ(e.what(), "Cannot open file /nonexistent/x.form");
    }
}

TEST(FormWriter, WritesWhatReadsBackTheSame) {
    const std::string text = "object Root: TSample\n"
                             "  Caption = 'tab'#9'quote''s '#382'lu'#357'ou'#269'k'#253\n"
                             "  Left = 5\n"
                             "  Units = Characters\n"
                             "  Options = [LastPageFooter]\n"
                             "  Lines = ('one' '' 'three')\n"
                             "  Page.PaperSize = Custom\n"
                             "  Page.Values = (1.5 2970 127 2100.25 127 1846.79166666667 0)\n"
                             "  Font.Height = -15\n"
                             "  Data = {00FF10}\n"
                             "  object Child: TSample\n"
                             "    Link = Root\n"
                             "  end\n"
                             "end\n";
    auto first = Read(text);
    const std::string written = WriteForm(*first);
    auto second = Read(written);
    EXPECT_EQ(WriteForm(*second), written);
    EXPECT_EQ(second->Caption(), "tab\tquote's \u017elu\u0165ou\u010dk\u00fd");
    EXPECT_EQ(second->Lines(), (std::vector<std::string>{"one", "", "three"}));
    EXPECT_NEAR(static_cast<double>(second->Page()->StoredValues()[5]), 1846.79166666667, 1e-9);
    EXPECT_EQ(second->Data, (std::vector<uint8_t>{0, 0xFF, 0x10}));
    auto* child = static_cast<TSample*>(second->FindComponent("Child"));
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->Link(), second.get());
    EXPECT_NE(written.find("  Caption = 'tab'#9'quote''s \u017elu\u0165ou\u010dk\u00fd'\n"), std::string::npos)
        << written;
    EXPECT_NE(written.find("  Page.Values = (\n    1.5\n    2970\n"), std::string::npos) << written;
    EXPECT_EQ(written.find("Visible"), std::string::npos) << "defaults are not written";
}

} // namespace
