// The reference of the description language against the reader it describes: every registered
// class is in it, every property has a type, and every default it shows is a value the reader
// accepts for that property.

#include "engine/ClassReference.h"
#include "engine/FormReader.h"
#include "tests/TestPaths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

using namespace pagimo;
using namespace pagimo::engine;

namespace {

system::TClassRegistry Registry() {
    system::TClassRegistry registry;
    RegisterDescriptionClasses(registry);
    return registry;
}

TEST(ClassReference, DescribesEveryRegisteredClassWithTypedProperties) {
    const system::TClassRegistry registry = Registry();
    const std::vector<TClassReference> classes = DescribeClasses(registry);
    std::set<std::string> described;
    for (const TClassReference& c : classes) {
        described.insert(c.ClassName);
        SCOPED_TRACE(c.ClassName);
        EXPECT_FALSE(c.Properties.empty());
        std::set<std::string> names;
        for (const TPropertyReference& p : c.Properties) {
            EXPECT_TRUE(names.insert(p.Name).second) << p.Name << " listed twice";
            EXPECT_NE(p.Type, "value") << p.Name << " has no declared type";
            if (p.Enum && !p.Default.empty() && p.Type.rfind("set of ", 0) != 0) {
                EXPECT_TRUE(p.Enum->Find(p.Default)) << p.Name << " = " << p.Default;
            }
        }
    }
    for (const char* name : {"TQRReport", "TQRBand", "TQRChildBand", "TQRGroup", "TQRSubDetail", "TQRLabel",
                             "TQRExpr", "TQRSysData", "TQRShape", "TQRSQLiteQuery", "TQRSQLQuery", "TQRCSVTable"})
        EXPECT_TRUE(described.count(name)) << name;
    EXPECT_EQ(described.size(), registry.ClassNames().size());

    const std::string text = ClassReferenceText(registry), markdown = ClassReferenceMarkdown(registry);
    for (const std::string& name : registry.ClassNames()) {
        EXPECT_NE(("\n" + text).find("\n" + name + "\n"), std::string::npos) << name;
        EXPECT_NE(markdown.find("\n### " + name + "\n"), std::string::npos) << name;
    }
    EXPECT_NE(markdown.find("| TQRBandType | rbTitle, rbPageHeader, rbDetail,"), std::string::npos);
}

// A description that sets every stored property of a class to the default the reference shows
// loads without complaint: the reference never shows a value an author could not write.
TEST(ClassReference, EveryShownDefaultReadsBack) {
    const system::TClassRegistry registry = Registry();
    for (const TClassReference& c : DescribeClasses(registry)) {
        SCOPED_TRACE(c.ClassName);
        std::string form = "object X: " + c.ClassName + "\n";
        for (const TPropertyReference& p : c.Properties)
            if (p.Stored && !p.Default.empty() && p.Default != "nil" && p.Type != "binary data")
                form += "  " + p.Name + " = " + p.Default + "\n";
        form += "end\n";
        TFormReadOptions options;
        options.FileName = "defaults.form";
        try {
            ReadForm(form, registry, options);
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what() << "\n" << form;
        }
    }
}

// The author's guide ends with the reference as the registry gives it, so a class or property
// added to the reader without the guide following fails here.
TEST(ClassReference, GuideCarriesTheReference) {
    std::ifstream in(pagimo::test::SourceDir() / "docs" / "REPORTS.md");
    ASSERT_TRUE(in) << "docs/REPORTS.md is missing";
    std::stringstream guide;
    guide << in.rdbuf();
    const std::string text = guide.str();
    const size_t at = text.find("\n## Class reference\n");
    ASSERT_NE(at, std::string::npos) << "docs/REPORTS.md has no class reference";
    EXPECT_EQ(text.substr(at + 1), ClassReferenceMarkdown(Registry()))
        << "the class reference in docs/REPORTS.md is out of date: run scripts/update-reference.sh";
}

} // namespace
