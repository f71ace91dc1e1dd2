// Merges that fill every kind of field a user can fill by hand: check boxes, radio buttons,
// combo and list boxes, on real forms written by other tools, read back by qpdf and poppler.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include "engine/MergeHarness.h"
#include "input/Template.h"

using namespace qvtest;

namespace {

struct FieldValue {
    std::string value;                // /V as qpdf writes it in JSON ("/Yes", "u:text", ...)
    std::vector<std::string> states;  // /AS of each widget, in qpdf's order
};

// /V and the widgets' /AS of every field, by fully qualified name, as qpdf reads them.
std::map<std::string, FieldValue> fieldsByQpdf(const fs::path& pdf) {
    std::map<std::string, FieldValue> fields;
    CommandResult r = runCommand({"qpdf", "--json=2", "--json-key=acroform", pdf.string()});
    nlohmann::json doc = nlohmann::json::parse(r.output, nullptr, false);
    if (doc.is_discarded()) return fields;
    for (const auto& f : doc["acroform"]["fields"]) {
        FieldValue& v = fields[f.value("fullname", "")];
        const auto& value = f["value"];
        if (value.is_string())
            v.value = value.get<std::string>();
        else if (!value.is_null())
            v.value = value.dump();
        const auto& state = f["annotation"]["appearancestate"];
        if (state.is_string()) v.states.push_back(state.get<std::string>());
    }
    return fields;
}

// The fraction of dark pixels inside a widget's box on its page, rendered at 72 dpi.
double inkIn(const fs::path& pdf, const QVWidgetDescription& w, double pageHeight) {
    TempDir dir;
    const std::string page = std::to_string(w.page);
    const int x = static_cast<int>(std::floor(w.bounds.x)) + 1;
    const int y = static_cast<int>(std::floor(pageHeight - w.bounds.y - w.bounds.height)) + 1;
    const int width = std::max(1, static_cast<int>(w.bounds.width) - 2);
    const int height = std::max(1, static_cast<int>(w.bounds.height) - 2);
    CommandResult r = runCommand({"pdftoppm",   "-q",
                                  "-f",         page,
                                  "-l",         page,
                                  "-r",         "72",
                                  "-gray",      "-singlefile",
                                  "-x",         std::to_string(x),
                                  "-y",         std::to_string(y),
                                  "-W",         std::to_string(width),
                                  "-H",         std::to_string(height),
                                  pdf.string(), (dir / "crop").string()});
    if (r.status != 0) return -1;
    const std::string image = readFile(dir / "crop.pgm");
    std::istringstream in(image);
    std::string magic;
    int w2 = 0, h2 = 0, maxValue = 0;
    in >> magic >> w2 >> h2 >> maxValue;
    in.get();
    const size_t start = static_cast<size_t>(in.tellg());
    const size_t total = static_cast<size_t>(w2) * static_cast<size_t>(h2);
    size_t dark = 0;
    for (size_t i = start; i < image.size() && i < start + total; ++i)
        if (static_cast<unsigned char>(image[i]) < 128) ++dark;
    return total ? static_cast<double>(dark) / static_cast<double>(total) : 0;
}

std::string readForm(const std::string& name) { return readFile(formsDir() / name); }

double pageHeight(const std::string& bytes, size_t page) {
    auto document = qvpdf::PDFDocument::initWithData(bytes);
    return document ? document->pageAtIndex(page - 1)->cropBox().height : 0;
}

std::string cellFor(const QVWidgetDescription& w) {
    switch (w.kind) {
    case QVWidgetKind::Text: return w.maximumLength > 0 ? std::string("A") : std::string("Waarde");
    case QVWidgetKind::CheckBox:
    case QVWidgetKind::RadioButton:
    case QVWidgetKind::ComboBox:
    case QVWidgetKind::ListBox:
        if (w.choices.empty()) return "";
        return w.choices.front().substr(0, w.choices.front().find(" = "));
    default: return "";
    }
}

std::string csvCell(const std::string& cell) {
    std::string out = "\"";
    for (char c : cell) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

// A header of every field the broad rule fills and one record with a value each.
std::string dataFor(const std::string& bytes) {
    std::optional<std::vector<QVWidgetDescription>> widgets = QVDescribeWidgets(bytes);
    std::map<std::string, std::string> cells;
    std::vector<std::string> order;
    for (const QVWidgetDescription& w : widgets.value_or(std::vector<QVWidgetDescription>{})) {
        if (w.use != QVWidgetUse::Fillable || cells.count(w.name)) continue;
        cells[w.name] = cellFor(w);
        order.push_back(w.name);
    }
    std::string header, row;
    for (const std::string& name : order) {
        header += (header.empty() ? "" : ",") + csvCell(name);
        row += (row.empty() ? "" : ",") + csvCell(cells[name]);
    }
    return header + "\n" + row + "\n";
}

class AllFields : public MergeTest {
protected:
    MergeArgs broad(const std::string& bytes, const std::string& data) {
        MergeArgs a;
        a.templateBytes = bytes;
        a.data = data;
        a.fieldPolicy = QVFieldPolicy::Broad;
        return a;
    }
};

}  // namespace

TEST_F(AllFields, EveryFormThatOpensMergesInBothModes) {
    for (const auto& entry : fs::directory_iterator(formsDir())) {
        if (entry.path().extension() != ".pdf") continue;
        SCOPED_TRACE(entry.path().filename().string());
        const std::string bytes = readFile(entry.path());
        MergeArgs a = broad(bytes, dataFor(bytes));
        TempDir separate, combined;
        MergeOutcome one = mergeInto(separate.path(), a);
        ASSERT_EQ(one.message, "OK");
        EXPECT_TRUE(qpdfChecks(separate / "merge-000001.pdf"));
        a.mode = QVOutputModeCombined;
        MergeOutcome all = mergeInto(combined.path(), a);
        ASSERT_EQ(all.message, "OK");
        EXPECT_TRUE(qpdfChecks(combined / "merge-gecombineerd.pdf"));
        // Flattened: nothing of the form is left to fill.
        for (const auto& page : annotationTypes(combined / "merge-gecombineerd.pdf"))
            EXPECT_EQ(std::count(page.begin(), page.end(), "Widget"), 0);
    }
}

TEST_F(AllFields, CheckBoxesOfTheTaxFormAreSetAndDrawnAndBurnedIn) {
    const std::string bytes = readForm("irs-f1040-2010-mixed.pdf");
    std::optional<std::vector<QVWidgetDescription>> widgets = QVDescribeWidgets(bytes);
    ASSERT_TRUE(widgets);
    std::vector<QVWidgetDescription> boxes;
    for (const QVWidgetDescription& w : *widgets)
        if (w.kind == QVWidgetKind::CheckBox && w.use == QVWidgetUse::Fillable && w.choices.size() == 1)
            boxes.push_back(w);
    ASSERT_GE(boxes.size(), 2u);
    const QVWidgetDescription& on = boxes[0];
    const QVWidgetDescription& off = boxes[1];
    ASSERT_NE(on.name, off.name);

    // Only two columns: every other field keeps the template's (empty) value.
    MergeArgs a = broad(bytes, csv({csvCell(on.name) + "," + csvCell(off.name), "ja,nee", "Nee,X"}));
    ASSERT_EQ(merge(a).message, "OK");
    const double height = pageHeight(bytes, on.page);

    std::map<std::string, FieldValue> first = fieldsByQpdf(out_ / "merge-000001.pdf");
    EXPECT_EQ(first[on.name].value, "/" + on.choices[0]);
    EXPECT_EQ(first[on.name].states, std::vector<std::string>{"/" + on.choices[0]});
    EXPECT_EQ(first[off.name].value, "/Off");
    EXPECT_EQ(first[off.name].states, std::vector<std::string>{"/Off"});
    EXPECT_GT(inkIn(out_ / "merge-000001.pdf", on, height), 0.03);
    EXPECT_LT(inkIn(out_ / "merge-000001.pdf", off, height), 0.01);

    std::map<std::string, FieldValue> second = fieldsByQpdf(out_ / "merge-000002.pdf");
    EXPECT_EQ(second[on.name].value, "/Off");
    EXPECT_EQ(second[off.name].value, "/" + off.choices[0]);
    EXPECT_LT(inkIn(out_ / "merge-000002.pdf", on, height), 0.01);
    EXPECT_GT(inkIn(out_ / "merge-000002.pdf", off, height), 0.03);

    // Burned in, the marks stay where they were.
    TempDir combined;
    a.mode = QVOutputModeCombined;
    ASSERT_EQ(mergeInto(combined.path(), a).message, "OK");
    const fs::path flat = combined / "merge-gecombineerd.pdf";
    EXPECT_TRUE(qpdfChecks(flat));
    EXPECT_TRUE(fieldsByQpdf(flat).empty());
    QVWidgetDescription onSecondRecord = off;
    onSecondRecord.page += 2;  // the form has two pages; record 2 starts on page 3
    EXPECT_GT(inkIn(flat, on, height), 0.03);
    EXPECT_GT(inkIn(flat, onSecondRecord, height), 0.03);
}

TEST_F(AllFields, RadiosAndChoicesTakeTheirOwnValues) {
    const std::string bytes = readForm("libreoffice-mixed.pdf");
    std::optional<std::vector<QVWidgetDescription>> widgets = QVDescribeWidgets(bytes);
    ASSERT_TRUE(widgets);
    std::map<QVWidgetKind, std::vector<QVWidgetDescription>> byKind;
    for (const QVWidgetDescription& w : *widgets) byKind[w.kind].push_back(w);
    ASSERT_FALSE(byKind[QVWidgetKind::RadioButton].empty());
    ASSERT_FALSE(byKind[QVWidgetKind::ComboBox].empty());

    // The radio group's last button, and the combo box's last option.
    const QVWidgetDescription radio = byKind[QVWidgetKind::RadioButton].back();
    const QVWidgetDescription combo = byKind[QVWidgetKind::ComboBox].front();
    ASSERT_FALSE(radio.choices.empty());
    ASSERT_FALSE(combo.choices.empty());
    const std::string state = radio.choices[0].substr(0, radio.choices[0].find(" = "));
    const std::string option = combo.choices.back().substr(0, combo.choices.back().find(" = "));
    MergeArgs a =
        broad(bytes, csv({csvCell(radio.name) + "," + csvCell(combo.name), csvCell(state) + "," + csvCell(option)}));
    ASSERT_EQ(merge(a).message, "OK");
    std::map<std::string, FieldValue> fields = fieldsByQpdf(out_ / "merge-000001.pdf");
    EXPECT_EQ(fields[radio.name].value, "/" + state);
    // One button of the group on, the others off.
    EXPECT_EQ(std::count(fields[radio.name].states.begin(), fields[radio.name].states.end(), "/" + state), 1);
    EXPECT_EQ(fields[combo.name].value, "u:" + option);
    EXPECT_NE(pdfText(out_ / "merge-000001.pdf").find(option), std::string::npos);
}

TEST_F(AllFields, ValuesAFieldDoesNotOfferFailTheFirstPassNamingFieldRecordAndChoices) {
    const std::string bytes = readForm("irs-f1040-2010-mixed.pdf");
    std::optional<std::vector<QVWidgetDescription>> widgets = QVDescribeWidgets(bytes);
    ASSERT_TRUE(widgets);
    const QVWidgetDescription* box = nullptr;
    for (const QVWidgetDescription& w : *widgets)
        if (w.kind == QVWidgetKind::CheckBox && w.use == QVWidgetUse::Fillable && w.choices.size() == 1) {
            box = &w;
            break;
        }
    ASSERT_TRUE(box);
    MergeArgs a = broad(bytes, csv({csvCell(box->name), "ja", "misschien"}));
    MergeOutcome o = merge(a);
    // The box's own on-state is among the words when it is one of them ("1" on this form).
    const std::string own = box->choices[0] == "1" ? "" : ", " + box->choices[0];
    EXPECT_EQ(o.message, "Waarde 'misschien' voor veld '" + box->name +
                             "' in record 3 is niet toegestaan. Mogelijk: uit: (leeg), 0, nee, n, no, false, onwaar, "
                             "uit, off; aan: 1, ja, j, yes, y, true, waar, x, aan, on, \u2713" +
                             own + ".");
    EXPECT_TRUE(files().empty()) << "checked before the first file";

    const std::string mixed = readForm("libreoffice-mixed.pdf");
    const std::vector<QVWidgetDescription> mixedWidgets = QVDescribeWidgets(mixed).value();
    for (const QVWidgetDescription& w : mixedWidgets) {
        if (w.kind != QVWidgetKind::ComboBox && w.kind != QVWidgetKind::RadioButton) continue;
        if (w.kind == QVWidgetKind::ComboBox && (w.flags & qvpdf::PDFFieldFlagEdit)) continue;
        SCOPED_TRACE(w.name);
        MergeOutcome refused = merge(broad(mixed, csv({csvCell(w.name), "geen van alle"})));
        EXPECT_EQ(refused.message.rfind("Waarde 'geen van alle' voor veld '" + w.name +
                                            "' in record 2 is niet toegestaan. Mogelijk: (leeg), ",
                                        0),
                  0u)
            << refused.message;
        for (const std::string& choice : w.choices)
            EXPECT_NE(refused.message.find(choice.substr(0, choice.find(" = "))), std::string::npos);
    }
}

TEST_F(AllFields, FieldsWithoutAColumnKeepTheTemplateValueAndNoneAtAllFails) {
    const std::string form = qvfixture::textForm({"Naam", "Plaats"});
    MergeArgs a = broad(form, csv({"Naam", "Anna"}));
    ASSERT_EQ(merge(a).message, "OK");
    EXPECT_NE(pdfText(out_ / "merge-000001.pdf").find("Anna"), std::string::npos);

    QVMergeSettings settings = settingsFor(a, out_.path());
    std::optional<QVFieldPlan> plan = QVPlanFields(settings);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->filled, std::vector<std::string>{"Naam"});
    EXPECT_EQ(plan->kept, std::vector<std::string>{"Plaats"});

    // A column the user names must exist, even when the rule lets unnamed ones go.
    a.mapping = QVFieldMapping{{"Plaats", "Woonplaats"}};
    EXPECT_EQ(merge(a).message, "CSV-kolom ontbreekt voor PDF-veld 'Plaats'.");
    a.mapping.reset();
    a.data = csv({"Iets", "x"});
    EXPECT_EQ(merge(a).message, "Geen enkel veld van het PDF-formulier heeft een CSV-kolom.");

    // The strict rule still wants a column for every field.
    a = broad(form, csv({"Naam", "Anna"}));
    a.fieldPolicy = QVFieldPolicy::Strict;
    EXPECT_EQ(merge(a).message, "CSV-kolom ontbreekt voor PDF-veld 'Plaats'.");
}

TEST_F(AllFields, TheLogNamesTheFieldsLeftAsTheyWere) {
    const std::string form = qvfixture::textForm({"Naam", "Plaats"});
    MergeArgs a = broad(form, csv({"Naam", "Anna"}));
    QVMergeSettings settings = settingsFor(a, out_.path());
    settings.logURL = out_ / "log.json";
    QVError error;
    uint64_t count = 0;
    ASSERT_TRUE(QVMergeWithSettings(settings, &count, &error)) << error.message;
    nlohmann::json log = nlohmann::json::parse(readFile(out_ / "log.json"));
    EXPECT_EQ(log["settings"]["fields"], "all");
    EXPECT_EQ(log["settings"]["fields_kept_from_template"], nlohmann::json::array({"Plaats"}));
    EXPECT_EQ(log["settings"]["field_mapping"], nlohmann::json({{"Naam", "Naam"}}));

    // A strict merge's log is as it always was.
    TempDir strict;
    settings.fieldPolicy = QVFieldPolicy::Strict;
    settings.outputFolder = strict.path();
    settings.logURL = strict / "log.json";
    settings.mapping = QVFieldMapping{{"Naam", "Naam"}, {"Plaats", "Naam"}};
    ASSERT_TRUE(QVMergeWithSettings(settings, &count, &error)) << error.message;
    nlohmann::json strictLog = nlohmann::json::parse(readFile(strict / "log.json"));
    EXPECT_FALSE(strictLog["settings"].contains("fields"));
    EXPECT_FALSE(strictLog["settings"].contains("fields_kept_from_template"));
}

namespace {

// qpdf's account of a file's encryption, without the lines that name the file.
std::string encryptionOf(const fs::path& pdf) { return runCommand({"qpdf", "--show-encryption", pdf.string()}).output; }

}  // namespace

TEST_F(AllFields, OpenlyEncryptedFormsStayEncryptedWithTheirPermissions) {
    for (const std::string name : {"encrypted-aes128-text.pdf", "encrypted-aes256-mixed.pdf"}) {
        SCOPED_TRACE(name);
        const std::string bytes = readForm(name);
        const fs::path original = formsDir() / name;
        TempDir separate, combined;
        MergeArgs a = broad(bytes, dataFor(bytes));
        // The strict rule refuses any encryption, as it always did.
        MergeArgs strict = a;
        strict.fieldPolicy = QVFieldPolicy::Strict;
        EXPECT_EQ(mergeInto(separate.path(), strict).message, "De PDF is ongeldig, leeg of beveiligd.");

        ASSERT_EQ(mergeInto(separate.path(), a).message, "OK");
        const fs::path one = separate / "merge-000001.pdf";
        EXPECT_TRUE(qpdfChecks(one));
        EXPECT_EQ(encryptionOf(one), encryptionOf(original));
        EXPECT_NE(pdfText(one).find("Waarde"), std::string::npos) << "poppler opens it without a password";

        a.mode = QVOutputModeCombined;
        ASSERT_EQ(mergeInto(combined.path(), a).message, "OK");
        const fs::path flat = combined / "merge-gecombineerd.pdf";
        EXPECT_TRUE(qpdfChecks(flat));
        EXPECT_EQ(encryptionOf(flat), encryptionOf(original));
        EXPECT_NE(pdfText(flat).find("Waarde"), std::string::npos);
    }
}

TEST_F(AllFields, EncryptedFormsThatNeedAPasswordOrForbidFillingAreRefusedSayingWhich) {
    TempDir dir;
    const fs::path plain = dir / "plain.pdf";
    writeFile(plain, qvfixture::textForm({"Naam"}));
    const fs::path locked = dir / "locked.pdf", forbidden = dir / "forbidden.pdf";
    ASSERT_EQ(
        runCommand({"qpdf", "--encrypt", "geheim", "eigenaar", "256", "--", plain.string(), locked.string()}).status,
        0);
    ASSERT_EQ(runCommand({"qpdf", "--encrypt", "", "eigenaar", "256", "--modify=none", "--form=n", "--modify-other=n",
                          "--annotate=n", "--", plain.string(), forbidden.string()})
                  .status,
              0);
    MergeArgs a = broad(readFile(locked), csv({"Naam", "Anna"}));
    EXPECT_EQ(merge(a).message, "Het PDF-sjabloon is beveiligd met een wachtwoord.");
    a.templateBytes = readFile(forbidden);
    EXPECT_EQ(merge(a).message, "Het PDF-sjabloon is beveiligd en staat het invullen van formulieren niet toe.");
    a.templateBytes = "geen pdf";
    EXPECT_EQ(merge(a).message, "De PDF is ongeldig, leeg of beveiligd.");
    EXPECT_TRUE(files().empty());
}
