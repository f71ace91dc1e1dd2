// Opening documents: real-world forms, fields and their flags, damaged and encrypted input,
// and the sharing of one parsed template between documents.

#include <gtest/gtest.h>

#include <set>

#include "DocumentFixtures.h"
#include "support/TestSupport.h"

using namespace qvpdf;
using namespace qvtest;

namespace {

struct FieldInfo {
    std::string name;
    std::string type;
    bool readOnly = false;
    bool password = false;
    int maxLen = 0;
};

std::vector<FieldInfo> widgets(PDFDocument& doc) {
    std::vector<FieldInfo> out;
    for (size_t i = 0; i < doc.pageCount(); ++i) {
        for (const auto& a : doc.pageAtIndex(i)->annotations()) {
            if (a->type() != PDFAnnotationSubtypeWidget) continue;
            out.push_back(
                {a->fieldName(), a->widgetFieldType(), a->isReadOnly(), a->isPasswordField(), a->maximumLength()});
        }
    }
    return out;
}

const FieldInfo* find(const std::vector<FieldInfo>& fields, const std::string& name) {
    for (const auto& f : fields)
        if (f.name == name) return &f;
    return nullptr;
}

}  // namespace

TEST(PDFDocumentOpen, RealWorldFormsOpenWithTheirPagesAndFields) {
    struct Expect {
        const char* file;
        size_t pages;
        size_t textWidgets;
    };
    const Expect forms[] = {
        {"acrobat-textfields.pdf", 1, 9},         {"acrobat-rotation.pdf", 2, 32},
        {"libreoffice-rotated-pages.pdf", 9, 27}, {"libreoffice-two-text.pdf", 1, 2},
        {"docfly-std14-fonts.pdf", 1, 12},        {"livecycle-xfa-text.pdf", 1, 7},
        {"handwritten-no-dr-kids.pdf", 1, 2},     {"sejda-mixed.pdf", 3, 12},
        {"irs-f1040-2010-mixed.pdf", 2, 202},     {"acrobat-different-da-levels.pdf", 1, 10},
    };
    for (const auto& f : forms) {
        SCOPED_TRACE(f.file);
        auto doc = PDFDocument::initWithData(readForm(f.file));
        ASSERT_TRUE(doc);
        EXPECT_FALSE(doc->isEncrypted());
        EXPECT_EQ(doc->pageCount(), f.pages);
        size_t text = 0;
        for (const auto& w : widgets(*doc)) text += w.type == PDFAnnotationWidgetSubtypeText;
        EXPECT_EQ(text, f.textWidgets);
    }
}

TEST(PDFDocumentOpen, FieldNamesAreFullyQualifiedAndInheritedAttributesCount) {
    auto rotation = PDFDocument::initWithData(readForm("acrobat-rotation.pdf"));
    ASSERT_TRUE(rotation);
    auto fields = widgets(*rotation);
    EXPECT_TRUE(find(fields, "pdfbox.portrait.single.rotation0"));
    EXPECT_TRUE(find(fields, "acrobat.page90.multi.rotation270"));

    // Kids without /T inherit the parent's name and type.
    auto kids = PDFDocument::initWithData(readForm("handwritten-no-dr-kids.pdf"));
    ASSERT_TRUE(kids);
    auto kidFields = widgets(*kids);
    ASSERT_EQ(kidFields.size(), 2u);
    for (const auto& f : kidFields) {
        EXPECT_EQ(f.name, "group");
        EXPECT_EQ(f.type, PDFAnnotationWidgetSubtypeText);
    }

    auto superhero = PDFDocument::initWithData(readForm("pdflib-mixed.pdf"));
    ASSERT_TRUE(superhero);
    auto heroFields = widgets(*superhero);
    const FieldInfo* hero = find(heroFields, "favorite.superhero");
    ASSERT_TRUE(hero);
    EXPECT_EQ(hero->type, PDFAnnotationWidgetSubtypeText);

    std::set<std::string> kinds;
    auto all = PDFDocument::initWithData(readForm("acrobat-all-kinds.pdf"));
    ASSERT_TRUE(all);
    for (const auto& f : widgets(*all)) kinds.insert(f.type);
    EXPECT_EQ(kinds, (std::set<std::string>{"/Tx", "/Btn", "/Ch", "/Sig"}));
}

TEST(PDFDocumentOpen, FlagsAndMaximumLengths) {
    auto xfa = PDFDocument::initWithData(readForm("livecycle-xfa-text.pdf"));
    ASSERT_TRUE(xfa);
    int readOnly = 0;
    std::multiset<int> lengths;
    for (const auto& f : widgets(*xfa)) {
        readOnly += f.readOnly;
        if (f.maxLen) lengths.insert(f.maxLen);
        EXPECT_FALSE(f.password);
    }
    EXPECT_EQ(readOnly, 1);
    EXPECT_TRUE(lengths.count(10));
    EXPECT_TRUE(lengths.count(26));

    auto irs = PDFDocument::initWithData(readForm("irs-f1040-2010-mixed.pdf"));
    ASSERT_TRUE(irs);
    int withMax = 0;
    for (const auto& f : widgets(*irs)) withMax += f.maxLen > 0;
    EXPECT_GE(withMax, 98);

    // Flags and /MaxLen set on a parent count for its kids.
    std::vector<FixtureField> fs(3);
    fs[0].name = "pin";
    fs[0].parent = "secret";
    fs[0].flags = 1 << 13;
    fs[1].name = "ro";
    fs[1].flags = 1;
    fs[2].name = "code";
    fs[2].maxLen = 5;
    auto doc = PDFDocument::initWithData(makeForm(fs));
    ASSERT_TRUE(doc);
    auto list = widgets(*doc);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].name, "secret.pin");
    EXPECT_TRUE(list[0].password);
    EXPECT_TRUE(list[1].readOnly);
    EXPECT_EQ(list[2].maxLen, 5);
    EXPECT_EQ(list[1].maxLen, 0);
}

TEST(PDFDocumentOpen, EncryptedFormsOpenAndSayTheyAreEncrypted) {
    for (const char* name : {"encrypted-aes128-text.pdf", "encrypted-aes256-mixed.pdf"}) {
        SCOPED_TRACE(name);
        auto doc = PDFDocument::initWithData(readForm(name));
        ASSERT_TRUE(doc);
        EXPECT_TRUE(doc->isEncrypted());
        EXPECT_GE(doc->pageCount(), 1u);
        // Untouched, the original bytes come back; with changes, an encrypted update.
        EXPECT_EQ(doc->dataRepresentation(), readForm(name));
        auto annots = doc->pageAtIndex(0)->annotations();
        for (const auto& a : annots) {
            if (a->widgetFieldType() != PDFAnnotationWidgetSubtypeText) continue;
            EXPECT_TRUE(a->setWidgetStringValue("x"));
            auto out = doc->dataRepresentation();
            ASSERT_TRUE(out);
            EXPECT_NE(*out, readForm(name));
            break;
        }
    }
}

TEST(PDFDocumentOpen, DamagedOrForeignBytesNeverCrashAndPrintNothing) {
    std::string good = readForm("acrobat-textfields.pdf");
    std::vector<std::string> inputs = {
        "", "hello, world\n", "%PDF-1.7\n", std::string(5000, '\0'),
        "%PDF-1.4\n1 0 obj <</Type /Catalog /Pages 2 0 R>> endobj\ntrailer <</Root 1 0 R>>\n%%EOF"};
    for (size_t cut : {good.size() / 10, good.size() / 2, good.size() - 40, good.size() - 1})
        inputs.push_back(good.substr(0, cut));
    std::string flipped = good;
    for (size_t i = 400; i < flipped.size(); i += 97) flipped[i] = static_cast<char>(flipped[i] ^ 0x5A);
    inputs.push_back(flipped);

    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    for (const auto& bytes : inputs) {
        auto doc = PDFDocument::initWithData(bytes);
        if (!doc) continue;
        // Whatever could be recovered must be usable end to end.
        for (size_t i = 0; i < doc->pageCount(); ++i)
            for (const auto& a : doc->pageAtIndex(i)->annotations())
                if (a->widgetFieldType() == PDFAnnotationWidgetSubtypeText) (void)a->setWidgetStringValue("Herstel");
        // A recovered file may refuse any of these; that it neither crashes nor prints is the test.
        (void)doc->dataRepresentation();
        (void)doc->dataRepresentationWithOptions({true});
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(PDFDocument::initWithData(""));
    EXPECT_FALSE(PDFDocument::initWithData("hello, world\n"));
}

TEST(PDFDocumentOpen, RepairedTemplatesAreRewrittenIntoACleanBase) {
    // The xref offsets are wrong by a few bytes: QPDF repairs the file while reading.
    std::vector<FixtureField> fs(1);
    fs[0].name = "naam";
    std::string form = makeForm(fs);
    std::string damaged = "%PDF-1.7\n%junk\n" + form.substr(9);
    auto doc = PDFDocument::initWithData(damaged);
    ASSERT_TRUE(doc);
    auto annots = doc->pageAtIndex(0)->annotations();
    ASSERT_EQ(annots.size(), 1u);
    ASSERT_TRUE(annots[0]->setWidgetStringValue("Hersteld"));
    auto out = doc->dataRepresentation();
    ASSERT_TRUE(out);
    std::string report;
    EXPECT_TRUE(qpdfCheckClean(*out, &report)) << report;
    EXPECT_NE(pdfText(*out).find("Hersteld"), std::string::npos);
}

TEST(PDFDocumentOpen, DocumentsFromOneTemplateShareNothingTheyChange) {
    std::vector<FixtureField> fs(2);
    fs[0].name = "a";
    fs[1].name = "b";
    fs[1].rect[1] = 600;
    fs[1].rect[3] = 620;
    std::string form = makeForm(fs);
    auto first = PDFDocument::initWithData(form);
    auto second = PDFDocument::initWithData(form);
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(first->pageAtIndex(0)->annotations()[0]->setWidgetStringValue("eerste"));
    EXPECT_EQ(second->pageAtIndex(0)->annotations()[0]->widgetStringValue(), "");
    EXPECT_EQ(second->dataRepresentation(), form);

    auto data = first->dataRepresentation();
    ASSERT_TRUE(data);
    EXPECT_EQ(data->compare(0, form.size(), form), 0) << "an update follows the unchanged template";
    auto third = PDFDocument::initWithData(form);
    EXPECT_EQ(third->pageAtIndex(0)->annotations()[0]->widgetStringValue(), "");

    // Reopening the output shows the value.
    for (const std::string& bytes : {*data, unfamiliar(*data)}) {
        auto reopened = PDFDocument::initWithData(bytes);
        ASSERT_TRUE(reopened);
        EXPECT_EQ(reopened->pageAtIndex(0)->annotations()[0]->widgetStringValue(), "eerste");
        ASSERT_TRUE(reopened->pageAtIndex(0)->annotations()[1]->setWidgetStringValue("tweede"));
        auto again = reopened->dataRepresentation();
        ASSERT_TRUE(again);
        std::string text = pdfText(*again);
        EXPECT_NE(text.find("eerste"), std::string::npos);
        EXPECT_NE(text.find("tweede"), std::string::npos);
    }
    // The remembered output did not change by the edit of the reopened copy.
    auto reopened = PDFDocument::initWithData(*data);
    EXPECT_EQ(reopened->pageAtIndex(0)->annotations()[1]->widgetStringValue(), "");
}

TEST(PDFDocumentOpen, EmptyDocumentHasNoPagesAndStillWrites) {
    auto doc = PDFDocument::init();
    EXPECT_EQ(doc->pageCount(), 0u);
    EXPECT_FALSE(doc->pageAtIndex(0));
    EXPECT_FALSE(doc->isEncrypted());
    auto data = doc->dataRepresentation();
    ASSERT_TRUE(data);
    EXPECT_TRUE(qpdfCheckClean(*data));
}
