// Check boxes, radio buttons, combo boxes and list boxes: what the layer reads of them, and
// what independent readers see after they were set (qpdf for values and states, poppler for
// the marks and texts drawn), in each document, burned in and combined.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstring>
#include <map>

#include "DocumentFixtures.h"
#include "support/TestSupport.h"

using namespace qvpdf;
using namespace qvtest;

namespace {

struct Widget {
    std::shared_ptr<PDFAnnotation> annot;
    int page = 0;
};

// Widgets by fully qualified field name, in page order.
std::map<std::string, std::vector<Widget>> widgetsOf(PDFDocument& doc) {
    std::map<std::string, std::vector<Widget>> out;
    for (size_t i = 0; i < doc.pageCount(); ++i)
        for (const auto& a : doc.pageAtIndex(i)->annotations())
            if (a->type() == "Widget") out[a->fieldName()].push_back(Widget{a, static_cast<int>(i)});
    return out;
}

// What qpdf reports for each widget of a field: the field's value and the widget's /AS.
struct Seen {
    std::string value;                // "/Yes", "u:text", or the JSON of anything else
    std::vector<std::string> states;  // one per widget
};

std::map<std::string, Seen> qpdfFields(const std::string& pdf, bool* needAppearances = nullptr) {
    TempDir dir;
    writeFile(dir / "f.pdf", pdf);
    CommandResult r = runCommand({"qpdf", "--json", "--json-key=acroform", (dir / "f.pdf").string()});
    std::map<std::string, Seen> out;
    auto json = nlohmann::json::parse(r.output, nullptr, false);
    if (json.is_discarded()) {
        ADD_FAILURE() << "qpdf --json: " << r.errors;
        return out;
    }
    const auto& form = json["acroform"];
    if (needAppearances) *needAppearances = form.value("needappearances", false);
    for (const auto& f : form["fields"]) {
        Seen& seen = out[f["fullname"].get<std::string>()];
        seen.value = f["value"].is_string() ? f["value"].get<std::string>() : f["value"].dump();
        seen.states.push_back(f["annotation"]["appearancestate"].get<std::string>());
    }
    return out;
}

// The dictionary of the object whose /T is `title`, as qpdf shows it in JSON ("u:" text,
// "/Name" names, "n 0 R" references); null when there is none.
nlohmann::json objectTitled(const std::string& pdf, const std::string& title) {
    TempDir dir;
    writeFile(dir / "f.pdf", pdf);
    CommandResult r = runCommand({"qpdf", "--json", "--json-key=qpdf", (dir / "f.pdf").string()});
    auto json = nlohmann::json::parse(r.output, nullptr, false);
    if (json.is_discarded() || !json["qpdf"].is_array() || json["qpdf"].size() < 2) return nullptr;
    for (const auto& [key, object] : json["qpdf"][1].items()) {
        const auto& value = object.contains("value") ? object["value"] : nlohmann::json();
        if (value.is_object() && value.value("/T", std::string()) == "u:" + title) return value;
    }
    return nullptr;
}

// Where poppler reads a check mark character (✔) on each page: centres, y upwards.
std::vector<std::vector<std::pair<double, double>>> checkCharacters(const std::string& pdf) {
    TempDir dir;
    writeFile(dir / "f.pdf", pdf);
    std::string xml = runCommand({"pdftotext", "-q", "-bbox", (dir / "f.pdf").string(), "-"}).output;
    std::vector<std::vector<std::pair<double, double>>> pages;
    auto attribute = [&](size_t from, const char* key) {
        size_t at = xml.find(key, from);
        return at == std::string::npos ? 0.0 : std::strtod(xml.c_str() + at + std::strlen(key), nullptr);
    };
    for (size_t page = xml.find("<page "); page != std::string::npos;) {
        size_t next = xml.find("<page ", page + 1);
        double height = attribute(page, "height=\"");
        pages.emplace_back();
        for (size_t word = xml.find(">\u2714</word>", page); word != std::string::npos && word < next;
             word = xml.find(">\u2714</word>", word + 1)) {
            size_t open = xml.rfind("<word ", word);
            double x = (attribute(open, "xMin=\"") + attribute(open, "xMax=\"")) / 2;
            double y = (attribute(open, "yMin=\"") + attribute(open, "yMax=\"")) / 2;
            pages.back().emplace_back(x, height - y);
        }
        page = next;
    }
    return pages;
}

bool checkCharacterInside(const std::vector<std::vector<std::pair<double, double>>>& pages, int page,
                          const PDFRect& r) {
    if (page < 0 || static_cast<size_t>(page) >= pages.size()) return false;
    for (auto [x, y] : pages[static_cast<size_t>(page)])
        if (x >= r.x && x <= r.x + r.width && y >= r.y && y <= r.y + r.height) return true;
    return false;
}

size_t countOf(const std::vector<std::string>& v, const std::string& item) {
    return static_cast<size_t>(std::count(v.begin(), v.end(), item));
}

// The middle of a widget, where a mark sits and borders do not reach.
PDFRect middle(const PDFAnnotation& a, double share = 0.6) {
    PDFRect r = a.bounds();
    return PDFRect{r.x + r.width * (1 - share) / 2, r.y + r.height * (1 - share) / 2, r.width * share,
                   r.height * share};
}

// Ink a widget gained over the unfilled template's rendering of the same place.
double inkGained(const PageImage& filled, const PageImage& blank, const PDFAnnotation& a) {
    return filled.ink(middle(a)) - blank.ink(middle(a));
}

std::vector<PageImage> render(const std::string& pdf, int pages) {
    std::vector<PageImage> out;
    for (int p = 0; p < pages; ++p) out.emplace_back(pdf, p);
    return out;
}

// A copy of every page of the document, burned in or as it is, in a new combined document.
std::optional<std::string> combined(PDFDocument& doc, bool burn) {
    auto out = PDFDocument::init();
    std::shared_ptr<PDFDocument> source;
    if (burn) {
        auto flat = doc.dataRepresentationWithOptions({true});
        if (!flat) return std::nullopt;
        source = PDFDocument::initWithData(*flat);
    }
    PDFDocument& from = source ? *source : doc;
    for (size_t i = 0; i < from.pageCount(); ++i)
        if (!out->insertPage(from.pageAtIndex(i)->copy(), out->pageCount())) return std::nullopt;
    return out->dataRepresentation();
}

// The outputs every test looks at: the document's own update, burned in, and combined both ways.
struct Outputs {
    std::string update, burned, combinedFlat, combinedLive;
};

Outputs writeAll(PDFDocument& doc) {
    Outputs o;
    auto update = doc.dataRepresentation();
    auto burned = doc.dataRepresentationWithOptions({true});
    auto flat = combined(doc, true);
    auto live = combined(doc, false);
    EXPECT_TRUE(update && burned && flat && live);
    if (update) o.update = *update;
    if (burned) o.burned = *burned;
    if (flat) o.combinedFlat = *flat;
    if (live) o.combinedLive = *live;
    for (const std::string* pdf : {&o.update, &o.burned, &o.combinedFlat, &o.combinedLive}) {
        std::string report;
        EXPECT_TRUE(qpdfCheckClean(*pdf, &report)) << report;
    }
    return o;
}

const char* kCheckOn = "q 0 g 4 4 12 12 re f Q";

}  // namespace

TEST(PDFButtonsAndChoices, KindsStatesAndOptionsAreReadFromRealForms) {
    auto doc = PDFDocument::initWithData(readForm("acrobat-all-kinds.pdf"));
    ASSERT_TRUE(doc);
    auto w = widgetsOf(*doc);
    const PDFAnnotation& check = *w["Checkbox"].at(0).annot;
    EXPECT_EQ(check.fieldFlags(), 0);
    EXPECT_EQ(check.buttonOnState(), "Yes");
    EXPECT_EQ(check.buttonState(), "Off");
    EXPECT_EQ(w["Checkbox-DefaultValue"].at(0).annot->buttonState(), "Yes");
    const PDFAnnotation& radio = *w["RadioButtonGroup"].at(1).annot;
    EXPECT_TRUE(radio.fieldFlags() & PDFFieldFlagRadio);
    EXPECT_TRUE(radio.fieldFlags() & PDFFieldFlagNoToggleToOff);
    EXPECT_EQ(radio.buttonOnState(), "RadioButton02");
    EXPECT_EQ(w["RadioButtonGroup-DefaultValue"].at(1).annot->buttonState(), "RadioButton01");
    EXPECT_EQ(w["CheckboxGroupChecked"].at(0).annot->buttonState(), "Option3");
    PDFAnnotation& push = *w["PushButton"].at(0).annot;
    EXPECT_TRUE(push.fieldFlags() & PDFFieldFlagPushButton);
    EXPECT_FALSE(push.setButtonState("Yes"));
    const PDFAnnotation& list = *w["ListBox-DefaultValue"].at(0).annot;
    auto options = list.choiceOptions();
    ASSERT_EQ(options.size(), 3u);
    EXPECT_EQ(options[2].exportValue, "Opt03");
    EXPECT_EQ(options[2].displayText, "Opt03");
    EXPECT_EQ(list.widgetStringValue(), "Opt01");
    EXPECT_TRUE(w["ComboBox"].at(0).annot->fieldFlags() & PDFFieldFlagCombo);
    // Text fields are neither.
    PDFAnnotation& text = *w["TextField"].at(0).annot;
    EXPECT_EQ(text.buttonOnState(), "");
    EXPECT_TRUE(text.choiceOptions().empty());
    EXPECT_FALSE(text.setButtonState("Yes"));
    EXPECT_FALSE(text.setChoiceValues({"Opt01"}));
    EXPECT_FALSE(w["ListBox"].at(0).annot->setButtonState("Yes"));

    // Radio buttons with /Opt: each widget's export label, in /Kids order.
    auto pdflib = PDFDocument::initWithData(readForm("pdflib-mixed.pdf"));
    auto rockets = widgetsOf(*pdflib)["favorite.rocket"];
    ASSERT_EQ(rockets.size(), 4u);
    std::vector<std::string> labels;
    for (const auto& r : rockets) labels.push_back(r.annot->buttonOptionLabel());
    EXPECT_EQ(labels, (std::vector<std::string>{"Falcon Heavy", "Saturn IV", "Delta IV Heavy", "Space Launch System"}));
    EXPECT_EQ(rockets[1].annot->buttonOnState(), "1");
    EXPECT_EQ(rockets[0].annot->buttonState(), "1");

    // Options written as UTF-16.
    auto lo = PDFDocument::initWithData(readForm("libreoffice-mixed.pdf"));
    auto combo = widgetsOf(*lo)["combolist1"].at(0).annot->choiceOptions();
    ASSERT_EQ(combo.size(), 4u);
    EXPECT_EQ(combo[2].displayText, "pi");
}

TEST(PDFButtonsAndChoices, CheckBoxesOfATaxFormShowTheirMarksEverywhere) {
    std::string form = readForm("irs-f1040-2010-mixed.pdf");
    auto doc = PDFDocument::initWithData(form);
    ASSERT_TRUE(doc);
    auto widgets = widgetsOf(*doc);
    std::map<std::string, std::string> chosen;  // field -> state set
    int n = 0, boxes = 0;
    for (auto& [name, ws] : widgets) {
        if (ws[0].annot->widgetFieldType() != PDFAnnotationWidgetSubtypeButton) continue;
        ++boxes;
        std::string on = (n++ % 2 == 0) ? ws.back().annot->buttonOnState() : "Off";
        ASSERT_TRUE(ws[0].annot->setButtonState(on)) << name;
        chosen[name] = on;
        EXPECT_EQ(ws[0].annot->buttonState(), on);
    }
    EXPECT_EQ(boxes, 34);
    Outputs out = writeAll(*doc);

    auto seen = qpdfFields(out.update);
    for (const auto& [name, state] : chosen) {
        SCOPED_TRACE(name);
        EXPECT_EQ(seen[name].value, "/" + state);
        size_t sharing = 0;
        for (const auto& w : widgets[name]) sharing += w.annot->buttonOnState() == state;
        if (state == "Off") {
            EXPECT_EQ(countOf(seen[name].states, "/Off"), widgets[name].size());
        } else {
            EXPECT_EQ(countOf(seen[name].states, "/" + state), sharing);
            EXPECT_EQ(countOf(seen[name].states, "/Off"), widgets[name].size() - sharing);
        }
    }

    // The form's own marks are ZapfDingbats text, which poppler draws only where a dingbats
    // font is installed but always reads: a mark shows as ink or as a check character.
    auto blank = render(form, 2);
    for (const std::string* pdf : {&out.update, &out.burned, &out.combinedFlat, &out.combinedLive}) {
        auto pages = render(*pdf, 2);
        ASSERT_TRUE(pages[0].ok() && pages[1].ok());
        auto checks = checkCharacters(*pdf);
        for (const auto& [name, state] : chosen) {
            for (const auto& w : widgets[name]) {
                bool on = state != "Off" && w.annot->buttonOnState() == state;
                double gained =
                    inkGained(pages[static_cast<size_t>(w.page)], blank[static_cast<size_t>(w.page)], *w.annot);
                bool read = checkCharacterInside(checks, w.page, w.annot->bounds());
                EXPECT_EQ(gained > 0.15 || read, on) << name;
                if (!on) {
                    EXPECT_LT(std::abs(gained), 0.05) << name;
                }
            }
        }
    }
}

TEST(PDFButtonsAndChoices, ARadioGroupHasOneWidgetOnAndCanBeTurnedOff) {
    // LibreOffice asks viewers for appearances (we draw our own); Acrobat's and pdf-lib's
    // are kept.
    for (const char* name : {"libreoffice-mixed.pdf", "acrobat-all-kinds.pdf", "pdflib-mixed.pdf"}) {
        SCOPED_TRACE(name);
        std::string form = readForm(name);
        auto doc = PDFDocument::initWithData(form);
        ASSERT_TRUE(doc);
        auto widgets = widgetsOf(*doc);
        std::string field;
        for (auto& [n, ws] : widgets)
            if (ws.size() > 1 && (ws[0].annot->fieldFlags() & PDFFieldFlagRadio)) field = n;
        ASSERT_FALSE(field.empty());
        auto& radios = widgets[field];
        std::string target = radios.back().annot->buttonOnState();
        EXPECT_FALSE(radios[0].annot->setButtonState("NoSuchState"));
        ASSERT_TRUE(radios[0].annot->setButtonState(target));
        EXPECT_EQ(radios[1].annot->buttonState(), target);
        Outputs out = writeAll(*doc);

        Seen seen = qpdfFields(out.update)[field];
        EXPECT_EQ(seen.value, "/" + target);
        EXPECT_EQ(countOf(seen.states, "/" + target), 1u);
        EXPECT_EQ(countOf(seen.states, "/Off"), radios.size() - 1);
        PageImage blank(form, 0);
        for (const std::string* pdf : {&out.update, &out.burned, &out.combinedFlat}) {
            PageImage page(*pdf, 0);
            for (size_t i = 0; i < radios.size(); ++i) {
                double gained = inkGained(page, blank, *radios[i].annot);
                // A widget that was on in the form loses its dot.
                if (i + 1 == radios.size())
                    EXPECT_GT(gained, 0.1) << i;
                else
                    EXPECT_LT(gained, 0.05) << i;
            }
        }

        ASSERT_TRUE(radios.back().annot->setButtonState("Off"));
        auto off = doc->dataRepresentation();
        ASSERT_TRUE(off);
        seen = qpdfFields(*off)[field];
        EXPECT_EQ(seen.value, "/Off");
        EXPECT_EQ(countOf(seen.states, "/Off"), radios.size());
        PageImage page(*off, 0);
        for (const auto& r : radios) EXPECT_LT(inkGained(page, blank, *r.annot), 0.05);
        EXPECT_TRUE(qpdfCheckClean(*off));
    }
}

TEST(PDFButtonsAndChoices, TheFormsOwnMarksAreKeptWhereTheyDraw) {
    auto doc = PDFDocument::initWithData(readForm("acrobat-all-kinds.pdf"));
    auto check = widgetsOf(*doc)["Checkbox"].at(0).annot;
    ASSERT_TRUE(check->setButtonState("Yes"));
    auto out = doc->dataRepresentation();
    ASSERT_TRUE(out);
    // The widget still shows Acrobat's appearances, now in its on state.
    auto widget = objectTitled(*out, "Checkbox");
    ASSERT_TRUE(widget.is_object());
    EXPECT_EQ(widget["/AP"]["/N"]["/Yes"], "22 0 R");
    EXPECT_EQ(widget["/AP"]["/N"]["/Off"], "21 0 R");
    EXPECT_EQ(widget["/AS"], "/Yes");
    EXPECT_EQ(widget["/V"], "/Yes");
}

TEST(PDFButtonsAndChoices, MarksAreDrawnWhereTheFormsOwnCannotShow) {
    // Three check boxes: the on appearance names a font its resources lack; the on state has
    // only a down appearance; a working appearance of the form's own. Two radios in unison
    // share an on-state, a third has its own.
    std::vector<std::string> objects = {
        streamObject("/Type /XObject /Subtype /Form /BBox [0 0 20 20] /Resources <</Font <<>>>>",
                     "BT /ZaDb 14 Tf 3 4 Td (4) Tj ET"),
        streamObject("/Type /XObject /Subtype /Form /BBox [0 0 20 20]", ""),
        streamObject("/Type /XObject /Subtype /Form /BBox [0 0 20 20]", kCheckOn),
    };
    auto box = [](const std::string& name, double x, const std::string& extra) {
        FixtureField f;
        f.name = name;
        f.type = "Btn";
        f.rect[0] = x;
        f.rect[1] = 600;
        f.rect[2] = x + 20;
        f.rect[3] = 620;
        f.da = "/ZaDb 0 Tf 0 g";
        f.extra = extra;
        return f;
    };
    std::vector<FixtureField> fields = {
        box("brokenfont", 100, "/AP <</N <</Yes @0 /Off @1>>>> /AS /Off /V /Off /MK <</CA (8)>>"),
        box("downonly", 150, "/AP <</D <</Ja @2>> /N <</Off @1>>>> /AS /Off"),
        box("ownmark", 200, "/AP <</N <</Yes @2 /Off @1>>>> /AS /Off"),
    };
    for (int i = 0; i < 3; ++i) {
        FixtureField r = box("r" + std::to_string(i), 300 + 40.0 * i, "");
        r.name = "";
        r.parent = "unison";
        r.flags = PDFFieldFlagRadio | PDFFieldFlagRadiosInUnison;
        r.extra =
            std::string("/AP <</N <</") + (i < 2 ? "A" : "B") + " @0 /Off @1>>>> /AS /Off /MK <</BC [0] /BG [1]>>";
        fields.push_back(r);
    }
    std::string form = makeForm(fields, objects, false);
    ASSERT_TRUE(qpdfCheckClean(form));
    auto doc = PDFDocument::initWithData(form);
    ASSERT_TRUE(doc);
    auto widgets = widgetsOf(*doc);
    EXPECT_EQ(widgets["downonly"].at(0).annot->buttonOnState(), "Ja");
    for (const char* name : {"brokenfont", "ownmark"}) ASSERT_TRUE(widgets[name].at(0).annot->setButtonState("Yes"));
    ASSERT_TRUE(widgets["downonly"].at(0).annot->setButtonState("Ja"));
    auto& radios = widgets["unison"];
    ASSERT_EQ(radios.size(), 3u);
    ASSERT_TRUE(radios[2].annot->setButtonState("A"));
    Outputs out = writeAll(*doc);

    auto seen = qpdfFields(out.update);
    EXPECT_EQ(seen["brokenfont"].value, "/Yes");
    EXPECT_EQ(seen["downonly"].states, std::vector<std::string>{"/Ja"});
    EXPECT_EQ(seen["unison"].value, "/A");
    EXPECT_EQ(countOf(seen["unison"].states, "/A"), 2u);
    PageImage blank(form, 0);
    for (const std::string* pdf : {&out.update, &out.burned, &out.combinedFlat, &out.combinedLive}) {
        PageImage page(*pdf, 0);
        for (const char* name : {"brokenfont", "downonly", "ownmark"})
            EXPECT_GT(inkGained(page, blank, *widgets[name].at(0).annot), 0.1) << name;
        EXPECT_GT(inkGained(page, blank, *radios[0].annot), 0.1);
        EXPECT_GT(inkGained(page, blank, *radios[1].annot), 0.1);
        EXPECT_LT(inkGained(page, blank, *radios[2].annot), 0.05);
    }
    // The form's working appearance is what shows: its filled square, not our cross.
    PageImage page(out.update, 0);
    EXPECT_GT(page.ink(middle(*widgets["ownmark"].at(0).annot, 0.5)), 0.95);
}

TEST(PDFButtonsAndChoices, WhenViewersAreToldToMakeAppearancesWeDrawTheMarkAndSayItIsDone) {
    // The form's own on appearance draws nothing: a viewer would make its own, a printer not.
    std::vector<std::string> objects = {streamObject("/Type /XObject /Subtype /Form /BBox [0 0 20 20]", ""),
                                        streamObject("/Type /XObject /Subtype /Form /BBox [0 0 20 20]", kCheckOn)};
    FixtureField f;
    f.name = "akkoord";
    f.type = "Btn";
    f.rect[0] = 100;
    f.rect[1] = 600;
    f.rect[2] = 118;
    f.rect[3] = 618;
    f.da = "0 0 1 rg /ZaDb 0 Tf";
    f.extra = "/AP <</N <</Yes @0 /Off @0>> /D <</Yes @1 /Off @0>>>> /AS /Off /MK <</CA (n)>>";
    std::string form = makeForm({f}, objects, true);
    auto doc = PDFDocument::initWithData(form);
    ASSERT_TRUE(doc);
    auto box = widgetsOf(*doc)["akkoord"].at(0).annot;
    ASSERT_TRUE(box->setButtonState("Yes"));
    Outputs out = writeAll(*doc);
    bool needAppearances = true;
    auto seen = qpdfFields(out.update, &needAppearances);
    EXPECT_FALSE(needAppearances);
    EXPECT_EQ(seen["akkoord"].value, "/Yes");
    PageImage blank(form, 0);
    for (const std::string* pdf : {&out.update, &out.burned, &out.combinedFlat, &out.combinedLive})
        EXPECT_GT(inkGained(PageImage(*pdf, 0), blank, *box), 0.3);
    // Our appearances replace the form's normal ones; the pressed look stays the form's.
    auto widget = objectTitled(out.update, "akkoord");
    ASSERT_TRUE(widget.is_object());
    EXPECT_NE(widget["/AP"]["/N"]["/Yes"], widget["/AP"]["/D"]["/Off"]);
    EXPECT_EQ(widget["/AP"]["/D"]["/Yes"].get<std::string>().substr(0, 2), "6 ");
}

TEST(PDFButtonsAndChoices, ComboBoxesShowTheChosenDisplayText) {
    auto doc = PDFDocument::initWithData(readForm("sejda-mixed.pdf"));
    ASSERT_TRUE(doc);
    auto widgets = widgetsOf(*doc);
    auto combo = widgets["dropdown_font_auto_center"].at(0).annot;
    EXPECT_FALSE(combo->setChoiceValues({"Option 9"})) << "not editable: options only";
    EXPECT_FALSE(combo->setChoiceValues({"Option 2", "Option 3"}));
    ASSERT_TRUE(combo->setChoiceValues({"Option 3"}));
    EXPECT_EQ(combo->widgetStringValue(), "Option 3");
    ASSERT_TRUE(widgets["dropdown_font_ten_left"].at(0).annot->setChoiceValues({}));
    Outputs out = writeAll(*doc);
    auto seen = qpdfFields(out.update);
    EXPECT_EQ(seen["dropdown_font_auto_center"].value, "u:Option 3");
    EXPECT_EQ(seen["dropdown_font_ten_left"].value, "null");
    for (const std::string* pdf : {&out.update, &out.burned, &out.combinedFlat}) {
        std::string text = pdfText(*pdf);
        EXPECT_NE(text.find("Option 3"), std::string::npos) << text;
    }

    // An editable combo box takes any text; /Opt pairs show their display text.
    auto lo = PDFDocument::initWithData(readForm("libreoffice-mixed.pdf"));
    auto editable = widgetsOf(*lo)["combolist1"].at(0).annot;
    ASSERT_TRUE(editable->setChoiceValues({"Zelfbedacht"}));
    FixtureField f;
    f.name = "land";
    f.type = "Ch";
    f.flags = PDFFieldFlagCombo;
    f.extra = "/Opt [[(nl) (Nederland)] [(be) (Belgie)]]";
    auto paired = PDFDocument::initWithData(makeForm({f}));
    auto land = widgetsOf(*paired)["land"].at(0).annot;
    EXPECT_EQ(land->choiceOptions().at(1).displayText, "Belgie");
    EXPECT_FALSE(land->setChoiceValues({"Belgie"})) << "values are export values";
    ASSERT_TRUE(land->setChoiceValues({"be"}));
    for (PDFDocument* d : {lo.get(), paired.get()}) {
        auto bytes = d->dataRepresentation();
        ASSERT_TRUE(bytes);
        EXPECT_TRUE(qpdfCheckClean(*bytes));
        std::string text = pdfText(*bytes);
        EXPECT_NE(text.find(d == lo.get() ? "Zelfbedacht" : "Belgie"), std::string::npos) << text;
        if (d == paired.get()) {
            EXPECT_EQ(qpdfFields(*bytes)["land"].value, "u:be");
        }
    }
}

TEST(PDFButtonsAndChoices, ListBoxesHighlightTheirSelection) {
    FixtureField f;
    f.name = "talen";
    f.type = "Ch";
    f.flags = PDFFieldFlagMultiSelect;
    f.rect[0] = 100;
    f.rect[1] = 500;
    f.rect[2] = 300;
    f.rect[3] = 580;
    f.da = "/Helv 12 Tf 0 g";
    f.extra = "/Opt [(Nederlands) (Frans) (Duits) (Spaans)]";
    FixtureField single = f;
    single.name = "een";
    single.flags = 0;
    single.rect[0] = 350;
    single.rect[2] = 550;
    std::string form = makeForm({f, single});
    auto doc = PDFDocument::initWithData(form);
    ASSERT_TRUE(doc);
    auto widgets = widgetsOf(*doc);
    auto multi = widgets["talen"].at(0).annot;
    auto one = widgets["een"].at(0).annot;
    EXPECT_FALSE(one->setChoiceValues({"Frans", "Duits"}));
    EXPECT_FALSE(one->setChoiceValues({"Latijn"}));
    ASSERT_TRUE(one->setChoiceValues({"Duits"}));
    ASSERT_TRUE(multi->setChoiceValues({"Spaans", "Frans"}));
    Outputs out = writeAll(*doc);
    auto seen = qpdfFields(out.update);
    EXPECT_EQ(seen["een"].value, "u:Duits");
    EXPECT_EQ(seen["talen"].value, R"(["u:Spaans","u:Frans"])");
    EXPECT_EQ(objectTitled(out.update, "talen")["/I"], nlohmann::json({1, 3}));
    EXPECT_EQ(objectTitled(out.update, "een")["/I"], nlohmann::json({2}));

    // Each option is a line of 12 points from the top; the right half of a selected line is
    // the selection colour, the others blank.
    for (const std::string* pdf : {&out.update, &out.burned, &out.combinedFlat, &out.combinedLive}) {
        PageImage page(*pdf, 0);
        std::string text = pdfText(*pdf);
        for (const char* option : {"Nederlands", "Frans", "Duits", "Spaans"})
            EXPECT_NE(text.find(option), std::string::npos);
        auto lineInk = [&](const PDFAnnotation& a, int line) {
            PDFRect r = a.bounds();
            double height = 12 * (729 + 218) / 1000.0;
            double top = r.y + r.height - 1 - line * height;
            return page.ink(PDFRect{r.x + r.width * 0.6, top - height + 2, r.width * 0.3, height - 4});
        };
        EXPECT_LT(lineInk(*multi, 0), 0.05);
        EXPECT_GT(lineInk(*multi, 1), 0.9);
        EXPECT_LT(lineInk(*multi, 2), 0.05);
        EXPECT_GT(lineInk(*multi, 3), 0.9);
        EXPECT_GT(lineInk(*one, 2), 0.9);
        EXPECT_LT(lineInk(*one, 1), 0.05);
    }

    // A real form's list box: its value, /I and its own font.
    auto lo = PDFDocument::initWithData(readForm("libreoffice-mixed.pdf"));
    auto list = widgetsOf(*lo)["list1"].at(0).annot;
    ASSERT_TRUE(list->setChoiceValues({"seven"}));
    auto bytes = lo->dataRepresentation();
    ASSERT_TRUE(bytes);
    EXPECT_TRUE(qpdfCheckClean(*bytes));
    EXPECT_EQ(qpdfFields(*bytes)["list1"].value, "u:seven");
    EXPECT_NE(pdfText(*bytes).find("seven"), std::string::npos);
}
