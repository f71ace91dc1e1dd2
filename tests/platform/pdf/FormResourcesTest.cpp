// What the writers put around the values, read back with qpdf and poppler: names escaped as
// the syntax needs them in both writers, the watermark's /DA font defined where editors look
// for it, hybrid forms without their XFA packet, and the combined file's title and author.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "DocumentFixtures.h"
#include "support/TestSupport.h"

using namespace qvpdf;
using namespace qvtest;
using nlohmann::json;

namespace {

// Every object of a file as qpdf reads it (names decoded), plus "trailer".
json qpdfObjects(const std::string& pdf) {
    TempDir dir;
    writeFile(dir / "in.pdf", pdf);
    CommandResult r = runCommand({"qpdf", "--json=2", "--json-key=qpdf", (dir / "in.pdf").string()});
    json j = json::parse(r.output, nullptr, false);
    if (r.status != 0 || j.is_discarded() || !j.contains("qpdf")) return json::object();
    return j["qpdf"][1];
}

// A dictionary: the value itself, or the object a reference ("4 0 R") names (its stream's
// dictionary for a stream). Empty when there is none.
json dictAt(const json& objects, const json& v) {
    if (v.is_object()) return v;
    if (!v.is_string() || !objects.contains("obj:" + v.get<std::string>())) return json::object();
    const json& o = objects["obj:" + v.get<std::string>()];
    if (o.contains("value") && o["value"].is_object()) return o["value"];
    if (o.contains("stream")) return o["stream"]["dict"];
    return json::object();
}

// Follows keys from a dictionary, resolving references on the way.
json walk(const json& objects, json at, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        at = dictAt(objects, at);
        if (!at.contains(key)) return nullptr;
        at = at[key];
    }
    return at;
}

json catalog(const json& objects) { return walk(objects, objects["trailer"]["value"], {"/Root"}); }

// The dictionaries of the objects whose `key` is `value`.
std::vector<json> objectsWith(const json& objects, const std::string& key, const std::string& value) {
    std::vector<json> out;
    for (const auto& [ref, o] : objects.items()) {
        json d = dictAt(objects, o.contains("value")    ? o["value"]
                                 : o.contains("stream") ? o["stream"]["dict"]
                                                        : json());
        if (d.contains(key) && d[key] == value) out.push_back(d);
    }
    return out;
}

std::vector<std::string> keysOf(const json& dict) {
    std::vector<std::string> out;
    if (dict.is_object())
        for (const auto& [k, v] : dict.items()) out.push_back(k);
    return out;
}

// pdftotext with its complaints: a font or colour space that a name does not find is one.
CommandResult popplerText(const std::string& pdf) {
    TempDir dir;
    writeFile(dir / "in.pdf", pdf);
    return runCommand({"pdftotext", "-enc", "UTF-8", (dir / "in.pdf").string(), "-"});
}

// The pages of a document burned in and copied into a new one, as combined output does.
std::optional<std::string> combine(PDFDocument& doc) {
    auto flatBytes = doc.dataRepresentationWithOptions({true});
    if (!flatBytes) return std::nullopt;
    auto flat = PDFDocument::initWithData(*flatBytes);
    auto combined = PDFDocument::init();
    if (!flat) return std::nullopt;
    for (size_t i = 0; i < flat->pageCount(); ++i)
        if (!combined->insertPage(flat->pageAtIndex(i)->copy(), combined->pageCount())) return std::nullopt;
    return combined->dataRepresentation();
}

std::shared_ptr<PDFAnnotation> firstTextWidget(PDFDocument& doc) {
    for (size_t i = 0; i < doc.pageCount(); ++i)
        for (const auto& a : doc.pageAtIndex(i)->annotations())
            if (a->widgetFieldType() == PDFAnnotationWidgetSubtypeText && !a->isReadOnly()) return a;
    return nullptr;
}

std::shared_ptr<PDFAnnotation> watermark(const std::string& text) {
    auto a = PDFAnnotation::initWithBounds({72, 40, 400, 20}, PDFAnnotationSubtypeFreeText);
    a->setContents(text);
    a->setFont(PDFFont{FontService::shared().systemUIFace(), 12});
    a->setFontColor(PDFColor::calibratedWhite(0.5, 1));
    a->setShouldPrint(true);
    return a;
}

// Resource keys with a space, '#', delimiters and UTF-8 bytes, used by the page content, a
// field's /DA and an entry of the widget of our own choosing.
std::string oddNamesForm() {
    std::string content =
        "/PANTONE#202706#20U cs 1 0 0 sc 72 560 100 40 re f /G#23#28x#29 gs "
        "BT /F#201 14 Tf 72 700 Td (Static) Tj /Gr#C3#BCn 14 Tf 0 -20 Td (Green) Tj ET";
    return makePdf(
        {"<</Type /Catalog /Pages 2 0 R /AcroForm 5 0 R>>", "<</Type /Pages /Count 1 /Kids [3 0 R]>>",
         "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources <</Font <</F#201 4 0 R "
         "/Gr#C3#BCn 4 0 R>> /ColorSpace <</PANTONE#202706#20U /DeviceRGB>> /ExtGState "
         "<</G#23#28x#29 <</CA 1>>>>>> /Contents 6 0 R /Annots [7 0 R]>>",
         kHelveticaFont, "<</Fields [7 0 R] /DR <</Font <</H#20v#28#C3#A9#29 4 0 R>>>> /DA (/Helv 0 Tf 0 g)>>",
         streamObject("", content),
         "<</Type /Annot /Subtype /Widget /FT /Tx /T (veld) /Rect [72 400 400 424] /F 4 /P 3 0 R "
         "/DA (/H#20v#28#C3#A9#29 12 Tf 0 g) /QV#20Note /A#28b#29#7Bc#7D#25#2F>>"},
        1);
}

// A form with fields and an XFA packet; its form dictionary is an object of its own or direct
// in the catalog.
std::string hybridForm(bool formObject) {
    std::string form =
        "<</Fields [5 0 R] /DR <</Font <</Helv 4 0 R>>>> /DA (/Helv 0 Tf 0 g) "
        "/XFA [(template) 6 0 R (datasets) 7 0 R]>>";
    std::vector<std::string> objects = {
        formObject ? "<</Type /Catalog /Pages 2 0 R /AcroForm 8 0 R /NeedsRendering false>>"
                   : "<</Type /Catalog /Pages 2 0 R /AcroForm " + form + " /NeedsRendering false>>",
        "<</Type /Pages /Count 1 /Kids [3 0 R]>>",
        "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [5 0 R]>>",
        kHelveticaFont,
        "<</Type /Annot /Subtype /Widget /FT /Tx /T (naam) /Rect [72 700 300 720] /F 4 /P 3 0 R "
        "/DA (/Helv 12 Tf 0 g)>>",
        streamObject("", "<template xmlns=\"http://www.xfa.org/schema/xfa-template/2.8/\"/>"),
        streamObject("",
                     "<xfa:datasets xmlns:xfa=\"http://www.xfa.org/schema/xfa-data/1.0/\"><xfa:data/>"
                     "</xfa:datasets>"),
        form,
    };
    return makePdf(objects, 1);
}

}  // namespace

TEST(PDFFormResources, NamesOfEveryKindSurviveBothWriters) {
    auto doc = PDFDocument::initWithData(oddNamesForm());
    ASSERT_TRUE(doc);
    auto field = firstTextWidget(*doc);
    ASSERT_TRUE(field);
    ASSERT_TRUE(field->setWidgetStringValue("Waarde"));
    // A watermark makes the update rewrite the page, resources and all.
    ASSERT_TRUE(doc->pageAtIndex(0)->addAnnotation(watermark("Kopie")));
    auto separate = doc->dataRepresentation();
    auto combined = combine(*doc);
    ASSERT_TRUE(separate && combined);

    for (const std::string* out : {&*separate, &*combined}) {
        bool isCombined = out == &*combined;
        SCOPED_TRACE(isCombined ? "combined" : "separate");
        std::string report;
        EXPECT_TRUE(qpdfCheckClean(*out, &report)) << report;
        // Poppler finds every font and colour space the content names, ours and the template's.
        CommandResult text = popplerText(*out);
        EXPECT_EQ(text.errors, "");
        for (const char* word : {"Static", "Green", "Waarde", "Kopie"})
            EXPECT_NE(text.output.find(word), std::string::npos) << word << "\n" << text.output;

        json objects = qpdfObjects(*out);
        std::vector<json> pages = objectsWith(objects, "/Type", "/Page");
        ASSERT_EQ(pages.size(), 1u);
        json resources = walk(objects, pages[0], {"/Resources"});
        std::vector<std::string> fonts = keysOf(walk(objects, resources, {"/Font"}));
        EXPECT_NE(std::find(fonts.begin(), fonts.end(), "/F 1"), fonts.end());
        EXPECT_NE(std::find(fonts.begin(), fonts.end(), "/Grün"), fonts.end());
        EXPECT_EQ(keysOf(walk(objects, resources, {"/ColorSpace"})), std::vector<std::string>{"/PANTONE 2706 U"});
        EXPECT_EQ(keysOf(walk(objects, resources, {"/ExtGState"})), std::vector<std::string>{"/G#(x)"});
        if (!isCombined) {
            std::vector<json> widgets = objectsWith(objects, "/T", "u:veld");
            ASSERT_EQ(widgets.size(), 1u);
            EXPECT_EQ(widgets[0]["/QV Note"], "/A(b){c}%/");
            json apFonts = walk(objects, widgets[0], {"/AP", "/N", "/Resources", "/Font"});
            EXPECT_EQ(keysOf(apFonts), std::vector<std::string>{"/H v(é)"});
        }
    }
}

TEST(PDFFormResources, WatermarkNamesAFontTheFormDefines) {
    // The second form already has a font of the name our first embedded face gets.
    std::string own = makeForm({FixtureField{}});
    std::string taken =
        makePdf({"<</Type /Catalog /Pages 2 0 R /AcroForm <</Fields [5 0 R] /DR <</Font "
                 "<</QVF1 4 0 R>>>>>>>>",
                 "<</Type /Pages /Count 1 /Kids [3 0 R]>>",
                 "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [5 0 R]>>", kHelveticaFont,
                 "<</Type /Annot /Subtype /Widget /FT /Tx /T (a) /Rect [72 700 300 720] /F 4 "
                 "/P 3 0 R /DA (/QVF1 12 Tf 0 g)>>"},
                1);
    for (const std::string* form : {&own, &taken}) {
        SCOPED_TRACE(form == &own ? "own names" : "name taken");
        auto doc = PDFDocument::initWithData(*form);
        ASSERT_TRUE(doc);
        ASSERT_TRUE(firstTextWidget(*doc)->setWidgetStringValue("Waarde"));
        ASSERT_TRUE(doc->pageAtIndex(0)->addAnnotation(watermark("Kopie voor Anna")));
        auto out = doc->dataRepresentation();
        ASSERT_TRUE(out);
        std::string report;
        EXPECT_TRUE(qpdfCheckClean(*out, &report)) << report;

        json objects = qpdfObjects(*out);
        std::vector<json> notes = objectsWith(objects, "/Subtype", "/FreeText");
        ASSERT_EQ(notes.size(), 1u);
        std::string da = notes[0]["/DA"].get<std::string>();
        ASSERT_EQ(da.rfind("u:/", 0), 0u) << da;
        std::string name = "/" + da.substr(3, da.find(' ') - 3);
        json drFont = walk(objects, catalog(objects), {"/AcroForm", "/DR", "/Font", name.c_str()});
        ASSERT_TRUE(drFont.is_string()) << name << " is not in /DR";
        // The same font object the appearance draws with, a face of ours.
        json apFonts = walk(objects, notes[0], {"/AP", "/N", "/Resources", "/Font"});
        bool drawnWith = false;
        for (const auto& [key, ref] : apFonts.items()) drawnWith = drawnWith || ref == drFont;
        EXPECT_TRUE(drawnWith) << name;
        EXPECT_EQ(walk(objects, drFont, {"/Subtype"}), "/Type0");
        if (form == &taken) {
            EXPECT_NE(name, "/QVF1");
            EXPECT_EQ(walk(objects, catalog(objects), {"/AcroForm", "/DR", "/Font", "/QVF1"}), "4 0 R");
        }
    }
}

TEST(PDFFormResources, HybridFormsLoseTheirXfaPacketInEveryOutput) {
    std::vector<std::pair<std::string, std::string>> forms = {{"form object", hybridForm(true)},
                                                              {"direct form", hybridForm(false)},
                                                              {"real form", readForm("livecycle-xfa-text.pdf")}};
    for (const auto& [label, form] : forms) {
        SCOPED_TRACE(label);
        auto doc = PDFDocument::initWithData(form);
        ASSERT_TRUE(doc);
        ASSERT_TRUE(firstTextWidget(*doc)->setWidgetStringValue("Anna"));
        auto separate = doc->dataRepresentation();
        auto combined = combine(*doc);
        ASSERT_TRUE(separate && combined);
        for (const std::string* out : {&*separate, &*combined}) {
            std::string report;
            EXPECT_TRUE(qpdfCheckClean(*out, &report)) << report;
            json objects = qpdfObjects(*out);
            json root = dictAt(objects, catalog(objects));
            EXPECT_FALSE(root.contains("/NeedsRendering"));
            json acroForm = dictAt(objects, root.contains("/AcroForm") ? root["/AcroForm"] : json());
            EXPECT_FALSE(acroForm.contains("/XFA"));
            EXPECT_NE(popplerText(*out).output.find("Anna"), std::string::npos);
        }
        // The fields stay: the separate output is still a form with the value.
        json objects = qpdfObjects(*separate);
        EXPECT_TRUE(walk(objects, catalog(objects), {"/AcroForm", "/Fields"}).is_array());
    }
}

TEST(PDFFormResources, CombinedFileKeepsTheTemplatesTitleAndAuthor) {
    // The template's /Info: a title in PDFDocEncoding, an author in UTF-16.
    std::vector<std::string> objects = {
        "<</Type /Catalog /Pages 2 0 R /AcroForm 6 0 R>>",
        "<</Type /Pages /Count 1 /Kids [3 0 R]>>",
        "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [5 0 R]>>",
        kHelveticaFont,
        "<</Type /Annot /Subtype /Widget /FT /Tx /T (naam) /Rect [72 700 300 720] /F 4 /P 3 0 R "
        "/DA (/Helv 12 Tf 0 g)>>",
        "<</Fields [5 0 R] /DR <</Font <</Helv 4 0 R>>>>>>",
        "<</Title (Aanvraag \\(2026\\)) /Author <FEFF00C9006D0069006C00650020004A0061006E00730065006E> "
        "/Producer (iets)>>",
    };
    auto doc = PDFDocument::initWithData(makePdf(objects, 1, "/Info 7 0 R"));
    ASSERT_TRUE(doc);
    ASSERT_TRUE(firstTextWidget(*doc)->setWidgetStringValue("Anna"));
    auto combined = combine(*doc);
    ASSERT_TRUE(combined);
    TempDir dir;
    writeFile(dir / "c.pdf", *combined);
    CommandResult info = runCommand({"pdfinfo", "-enc", "UTF-8", (dir / "c.pdf").string()});
    EXPECT_TRUE(std::regex_search(info.output, std::regex("Title: +Aanvraag \\(2026\\)\n"))) << info.output;
    EXPECT_TRUE(std::regex_search(info.output, std::regex("Author: +Émile Jansen\n"))) << info.output;
    EXPECT_EQ(info.output.find("iets"), std::string::npos) << "only the title and author are carried";
    std::string report;
    EXPECT_TRUE(qpdfCheckClean(*combined, &report)) << report;
}
