#include <gtest/gtest.h>

#include <unistd.h>
#include <cerrno>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "input/Template.h"
#include "input/TemplateFields.h"
#include "platform/System.h"
#include "support/DutchHome.h"
#include "support/FormFixtures.h"
#include "support/TestSupport.h"

using qvfixture::FieldSpec;
using qvfixture::FormBuilder;
using qvfixture::textForm;
using qvtest::ScopedEnv;
using qvtest::TempDir;
using qvtest::writeFile;
namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

using qvtest::kInvalid;
using qvtest::kUnsupported;
const std::string kNoFields = "Het PDF-sjabloon bevat geen ondersteunde tekstvelden.";

class Template : public qvtest::DutchHomeTest {
protected:
    // The template reader's message, or "" when the file was read.
    std::string readError(const fs::path& path) {
        QVError error;
        std::optional<std::string> bytes = QVReadTemplate(path, &error);
        EXPECT_EQ(bytes.has_value(), error.message.empty());
        return error.message;
    }

    // The field names joined with "|", or the message.
    static std::string names(const std::string& bytes) {
        QVError error;
        std::optional<std::vector<std::string>> list = QVTemplateFieldNames(bytes, &error);
        if (!list) return error.message;
        EXPECT_TRUE(error.message.empty());
        std::string out;
        for (const std::string& n : *list) out += (out.empty() ? "" : "|") + n;
        return out;
    }

    // QVFields on the bytes with header and mapping: "name>column#index ..." or the message.
    static std::string fields(const std::string& bytes, std::optional<std::vector<std::string_view>> header,
                              const QVFieldMapping* mapping = nullptr) {
        std::shared_ptr<qvpdf::PDFDocument> document = QVDocument(bytes);
        if (!document) return "(no document)";
        QVError error;
        std::optional<std::span<const std::string_view>> columns;
        if (header) columns = *header;
        std::optional<std::vector<QVField>> list = QVFields(document.get(), columns, mapping, &error);
        if (!list) return error.message;
        std::string out;
        for (const QVField& f : *list) {
            EXPECT_TRUE(f.widget);
            EXPECT_EQ(f.widget->fieldName(), f.name);
            EXPECT_EQ(f.columnIndex.has_value(), header.has_value());
            out += (out.empty() ? "" : " ") + f.name + ">" + f.column;
            if (f.columnIndex) out += "#" + std::to_string(*f.columnIndex);
        }
        return out;
    }
};

std::string withOneOf(FieldSpec odd) {
    FormBuilder form;
    int page = form.addPage();
    form.addWidget(page, form.addText("Naam"));
    form.addWidget(page, form.addField(std::move(odd)));
    return form.build();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Reading the file

TEST_F(Template, ReadReturnsAnyBytesUnchanged) {
    const std::string pdf = textForm({"Naam"});
    writeFile(dir_ / "sjabloon.pdf", pdf);
    EXPECT_EQ(QVReadTemplate(dir_ / "sjabloon.pdf"), pdf);

    // Not looked at: emptiness and non-PDF content are the opener's business.
    writeFile(dir_ / "leeg.pdf", "");
    EXPECT_EQ(QVReadTemplate(dir_ / "leeg.pdf"), "");
    const std::string binary = "\0\xFF%PDF\r\n\0"s;
    writeFile(dir_ / "binair.pdf", binary);
    EXPECT_EQ(QVReadTemplate(dir_ / "binair.pdf"), binary);
}

TEST_F(Template, ReadFailuresGiveTheReason) {
    EXPECT_EQ(readError(dir_ / "geen.pdf"), "PDF lezen mislukt: Het bestand 'geen.pdf' bestaat niet.");
    writeFile(dir_ / "bestand", "x");
    EXPECT_EQ(readError(dir_ / "bestand" / "a.pdf"), "PDF lezen mislukt: Het bestand 'a.pdf' bestaat niet.");
    fs::create_directory(dir_ / "formulier.pdf");
    EXPECT_EQ(readError(dir_ / "formulier.pdf"), "PDF lezen mislukt: 'formulier.pdf' is een map, geen bestand.");

    if (fs::exists("/proc/self/mem")) {
        EXPECT_EQ(readError("/proc/self/mem"),
                  "PDF lezen mislukt: Het bestand 'mem' kon niet worden gelezen: " + QVStrError(EIO));
    }
    if (geteuid() != 0) {
        writeFile(dir_ / "geheim.pdf", textForm({"Naam"}));
        fs::permissions(dir_ / "geheim.pdf", fs::perms::none);
        EXPECT_EQ(readError(dir_ / "geheim.pdf"),
                  "PDF lezen mislukt: Het bestand 'geheim.pdf' kon niet worden gelezen: " + QVStrError(EACCES));
    }
}

TEST_F(Template, MessagesAreTranslatedBeforeTheyAreFilled) {
    ScopedEnv english{"LANGUAGE", "en"};
    EXPECT_EQ(readError(dir_ / "geen.pdf"), "Could not read the PDF file: The file 'geen.pdf' does not exist.");
    EXPECT_EQ(names(""), "The PDF is invalid, empty or protected.");
    EXPECT_EQ(fields(textForm({"Naam"}), std::vector<std::string_view>{"naam"}), "No CSV column for PDF field 'Naam'.");
}

// ---------------------------------------------------------------------------------------------
// Opening the document

TEST_F(Template, RefusesWhatIsNotAUsablePdf) {
    EXPECT_EQ(names(""), kInvalid);
    EXPECT_EQ(names("Naam,Plaats\nJan,Delft\n"), kInvalid);
    EXPECT_EQ(names("%PDF-1.7\n"), kInvalid);

    FormBuilder pageless;
    EXPECT_EQ(names(pageless.build()), kInvalid);

    QVError error;
    EXPECT_EQ(QVDocument("geen pdf", &error), nullptr);
    EXPECT_EQ(error.domain, "Quorvel");
    EXPECT_EQ(error.code, 1);
    EXPECT_EQ(error.message, kInvalid);
    EXPECT_EQ(QVDocument("geen pdf"), nullptr);  // no place for the report: still no crash

    std::shared_ptr<qvpdf::PDFDocument> good = QVDocument(textForm({"Naam"}));
    ASSERT_TRUE(good);
    EXPECT_EQ(good->pageCount(), 1u);
}

TEST_F(Template, DamagedFilesNeverCrash) {
    FormBuilder form;
    for (int p = 0; p < 3; ++p) form.addWidget(form.addPage("Pagina"), form.addText("Veld" + std::to_string(p)));
    const std::string pdf = form.build();
    for (size_t length = 0; length < pdf.size(); length += 97) {
        const std::string result = names(pdf.substr(0, length));
        // A cut-off file may still be recovered; what is left of it is either refused or read.
        EXPECT_TRUE(result == kInvalid || result == kNoFields || result.rfind("Veld", 0) == 0)
            << length << ": " << result;
    }
    std::string garbled = pdf;
    for (size_t i = 40; i < garbled.size(); i += 13) garbled[i] = static_cast<char>(garbled[i] ^ 0x5A);
    const std::string result = names(garbled);
    EXPECT_FALSE(result.empty());
}

TEST_F(Template, RefusesEncryptedEvenWithoutPassword) {
    const fs::path plain = dir_ / "open.pdf";
    writeFile(plain, textForm({"Naam", "Plaats"}));
    for (const std::string& user : {""s, "geheim"s}) {
        const fs::path locked = dir_ / ("versleuteld-" + user + ".pdf");
        qvtest::CommandResult r =
            qvtest::runCommand({"qpdf", "--encrypt", user, "eigenaar", "256", "--", plain.string(), locked.string()});
        if (r.status != 0) GTEST_SKIP() << "qpdf is needed to encrypt: " << r.errors;
        EXPECT_EQ(names(qvtest::readFile(locked)), kInvalid) << "user password '" << user << "'";
    }
}

// ---------------------------------------------------------------------------------------------
// Which widgets are accepted

TEST_F(Template, EveryFormWidgetThatCannotBeFilledRefusesTheWholeForm) {
    using namespace qvfixture;
    const std::vector<std::pair<const char*, FieldSpec>> odd = {
        {"check box", {"Akkoord", "/Btn"}},
        {"radio button", {"Keuze", "/Btn", kRadio}},
        {"push button", {"Verstuur", "/Btn", kPushButton}},
        {"combo box", {"Land", "/Ch", kCombo}},
        {"list box", {"Talen", "/Ch"}},
        {"signature", {"Handtekening", "/Sig"}},
        {"no field type", {"Zomaar", ""}},
        {"no name", {std::nullopt, "/Tx"}},
        {"empty name", {"", "/Tx"}},
        {"read-only", {"Vast", "/Tx", kReadOnly}},
        {"password", {"Wachtwoord", "/Tx", kPassword}},
        {"read-only multiline", {"Notities", "/Tx", kReadOnly | kMultiline}},
    };
    for (const auto& [what, spec] : odd) EXPECT_EQ(names(withOneOf(spec)), kUnsupported) << what;

    // Ten good text fields do not outweigh one check box.
    FormBuilder ten;
    int page = ten.addPage();
    for (int i = 1; i <= 10; ++i) ten.addWidget(page, ten.addText("Veld" + std::to_string(i)));
    std::string tenOnly = ten.build();
    ten.addWidget(page, ten.addField({"Akkoord", "/Btn"}));
    EXPECT_EQ(names(ten.build()), kUnsupported);
    EXPECT_EQ(names(tenOnly), "Veld1|Veld2|Veld3|Veld4|Veld5|Veld6|Veld7|Veld8|Veld9|Veld10");
}

TEST_F(Template, TextFieldsWithOtherFlagsAreAccepted) {
    using namespace qvfixture;
    FormBuilder form;
    int page = form.addPage();
    form.addWidget(page, form.addField({"Opmerking", "/Tx", kMultiline | kRequired}));
    form.addWidget(page, form.addField({"Postcode", "/Tx", 0, 6}));
    form.addWidget(page, form.addField({"Straße (€) \\ 名前", "/Tx"}));
    EXPECT_EQ(names(form.build()), "Opmerking|Postcode|Straße (€) \\ 名前");
}

TEST_F(Template, OnlyWidgetsCount) {
    FormBuilder form;
    int page = form.addPage("Alleen tekst, een link en een notitie");
    form.addLink(page);
    form.addNote(page);
    form.addLink(form.addPage("Nog een pagina"));
    EXPECT_EQ(names(form.build()), kNoFields);

    // A null document, as the merge may pass for bytes it could not open, has no fields either.
    QVError error;
    EXPECT_FALSE(QVFields(nullptr, std::nullopt, nullptr, &error));
    EXPECT_EQ(error.message, kNoFields);
}

// ---------------------------------------------------------------------------------------------
// Order and names

TEST_F(Template, ListIsInDocumentOrderWithOneEntryPerWidget) {
    FormBuilder form;
    int p1 = form.addPage(), p2 = form.addPage(), p3 = form.addPage();
    int naam = form.addText("Naam");
    int datum = form.addText("Datum");
    int plaats = form.addText("Plaats");
    // Annotation order within a page wins over the order in which fields were declared.
    form.addWidget(p1, plaats);
    form.addLink(p1);
    form.addWidget(p1, naam);
    form.addNote(p2);
    form.addWidget(p3, datum);
    form.addWidget(p3, naam);  // the same field again, on page 3
    const std::string pdf = form.build();

    EXPECT_EQ(names(pdf), "Plaats|Naam|Datum");
    const std::vector<std::string_view> header = {"Datum", "Naam", "Plaats"};
    EXPECT_EQ(fields(pdf, std::nullopt), "Plaats>Plaats Naam>Naam Datum>Datum Naam>Naam");
    EXPECT_EQ(fields(pdf, header), "Plaats>Plaats#2 Naam>Naam#1 Datum>Datum#0 Naam>Naam#1");

    // The two entries of Naam are two different widgets, one on each page.
    std::shared_ptr<qvpdf::PDFDocument> document = QVDocument(pdf);
    std::optional<std::vector<QVField>> list = QVFields(document.get(), std::nullopt, nullptr);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 4u);
    EXPECT_NE((*list)[1].widget, (*list)[3].widget);
    EXPECT_NE((*list)[1].widget->bounds().y, (*list)[3].widget->bounds().y);
}

TEST_F(Template, HierarchicalFieldsHaveFullyQualifiedNames) {
    // The kids take their type from the parent field and are named through it.
    FormBuilder form;
    int page = form.addPage();
    int adres = form.addField({"adres", "/Tx"});
    int straat = form.addField({"straat", "", 0, 0, adres});
    int plaats = form.addField({"plaats", "", 0, 0, adres});
    form.addWidget(page, straat);
    form.addWidget(page, plaats);
    form.addWidget(page, plaats);
    EXPECT_EQ(names(form.build()), "adres.straat|adres.plaats");

    // With no type anywhere in its chain, a widget is not a text field.
    FormBuilder untyped;
    page = untyped.addPage();
    adres = untyped.addField({"adres", ""});
    untyped.addWidget(page, untyped.addField({"straat", "", 0, 0, adres}));
    EXPECT_EQ(names(untyped.build()), kUnsupported);
}

// ---------------------------------------------------------------------------------------------
// The column check

TEST_F(Template, WithoutMappingAFieldNeedsTheColumnOfExactlyItsName) {
    const std::string pdf = textForm({"Naam", "Plaats"});
    EXPECT_EQ(fields(pdf, std::vector<std::string_view>{"naam", "Plaats"}),
              "CSV-kolom ontbreekt voor PDF-veld 'Naam'.");
    EXPECT_EQ(fields(pdf, std::vector<std::string_view>{"Naam ", "Plaats"}),
              "CSV-kolom ontbreekt voor PDF-veld 'Naam'.");
    EXPECT_EQ(fields(pdf, std::vector<std::string_view>{"Naam"}), "CSV-kolom ontbreekt voor PDF-veld 'Plaats'.");
    EXPECT_EQ(fields(pdf, std::vector<std::string_view>{}), "CSV-kolom ontbreekt voor PDF-veld 'Naam'.");
    EXPECT_EQ(fields(pdf, std::vector<std::string_view>{"Extra", "Plaats", "Naam"}), "Naam>Naam#2 Plaats>Plaats#1");
    // Equal column names cannot come from the parser, but the first would be the one read.
    EXPECT_EQ(fields(pdf, std::vector<std::string_view>{"Naam", "Plaats", "Naam"}), "Naam>Naam#0 Plaats>Plaats#1");
}

TEST_F(Template, WithMappingEveryFieldNeedsAnEntryForAKnownColumn) {
    const std::string pdf = textForm({"Naam", "Achternaam", "Plaats"});
    const std::vector<std::string_view> header = {"voornaam", "achternaam", "woonplaats"};

    QVFieldMapping full = {{"Naam", "voornaam"}, {"Achternaam", "achternaam"}, {"Plaats", "woonplaats"}, {"Weg", "x"}};
    EXPECT_EQ(fields(pdf, header, &full), "Naam>voornaam#0 Achternaam>achternaam#1 Plaats>woonplaats#2");

    // Several fields may share a column.
    QVFieldMapping shared = {{"Naam", "achternaam"}, {"Achternaam", "achternaam"}, {"Plaats", "woonplaats"}};
    EXPECT_EQ(fields(pdf, header, &shared), "Naam>achternaam#1 Achternaam>achternaam#1 Plaats>woonplaats#2");

    // The first field in document order without a usable column is named.
    QVFieldMapping missing = {{"Naam", "voornaam"}, {"Plaats", "woonplaats"}};
    EXPECT_EQ(fields(pdf, header, &missing), "CSV-kolom ontbreekt voor PDF-veld 'Achternaam'.");
    QVFieldMapping unknown = {{"Naam", "voornaam"}, {"Achternaam", "Achternaam"}, {"Plaats", "plaats"}};
    EXPECT_EQ(fields(pdf, header, &unknown), "CSV-kolom ontbreekt voor PDF-veld 'Achternaam'.");
    // A mapping replaces the name rule: the field's own name as a column does not help.
    QVFieldMapping empty;
    EXPECT_EQ(fields(pdf, std::vector<std::string_view>{"Naam", "Achternaam", "Plaats"}, &empty),
              "CSV-kolom ontbreekt voor PDF-veld 'Naam'.");

    // Without columns nothing is checked; a field without an entry simply has no column.
    EXPECT_EQ(fields(pdf, std::nullopt, &missing), "Naam>voornaam Achternaam> Plaats>woonplaats");
}

TEST_F(Template, TheFirstOffendingWidgetDecidesTheMessage) {
    const std::vector<std::string_view> header = {"Naam"};
    FormBuilder columnFirst;
    columnFirst.addWidget(columnFirst.addPage(), columnFirst.addText("Onbekend"));
    columnFirst.addWidget(columnFirst.addPage(), columnFirst.addField({"Akkoord", "/Btn"}));
    EXPECT_EQ(fields(columnFirst.build(), header), "CSV-kolom ontbreekt voor PDF-veld 'Onbekend'.");

    FormBuilder boxFirst;
    int page = boxFirst.addPage();
    boxFirst.addWidget(page, boxFirst.addField({"Akkoord", "/Btn"}));
    boxFirst.addWidget(page, boxFirst.addText("Onbekend"));
    EXPECT_EQ(fields(boxFirst.build(), header), kUnsupported);

    // Within one widget the type test comes before the column test.
    EXPECT_EQ(fields(withOneOf({"Naam", "/Tx", qvfixture::kPassword}), header), kUnsupported);
}
