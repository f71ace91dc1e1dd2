// Templates encrypted with the empty user password: filled, written and combined, their output
// stays encrypted as the template was. Checked with qpdf's and poppler's command lines.

#include <gtest/gtest.h>

#include "DocumentFixtures.h"
#include "support/TestSupport.h"

using namespace qvpdf;
using namespace qvtest;

namespace {

struct Encrypted {
    std::string name;
    std::string bytes;
};

// The bytes encrypted by the qpdf command line with the given --encrypt arguments.
std::string encrypt(const std::string& plain, const std::vector<std::string>& args) {
    TempDir dir;
    writeFile(dir / "in.pdf", plain);
    std::vector<std::string> argv = {"qpdf", "--allow-weak-crypto", "--encrypt"};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.insert(argv.end(), {"--", (dir / "in.pdf").string(), (dir / "out.pdf").string()});
    CommandResult r = runCommand(argv);
    EXPECT_TRUE(r.status == 0 || r.status == 3) << r.errors;
    return readFile(dir / "out.pdf");
}

CommandResult qpdfOn(const std::string& pdf, const std::string& option) {
    TempDir dir;
    writeFile(dir / "in.pdf", pdf);
    return runCommand({"qpdf", option, (dir / "in.pdf").string()});
}

std::string plainForm() {
    std::vector<FixtureField> fs(2);
    fs[0].name = "naam";
    fs[1].name = "plaats";
    fs[1].rect[1] = 650;
    fs[1].rect[3] = 670;
    return makeForm(fs);
}

// Every openly encrypted kind: the repository's two real forms and one of each method made here.
std::vector<Encrypted> openlyEncryptedForms() {
    std::string plain = plainForm();
    return {
        {"encrypted-aes128-text.pdf", readForm("encrypted-aes128-text.pdf")},
        {"encrypted-aes256-mixed.pdf", readForm("encrypted-aes256-mixed.pdf")},
        {"rc4-40 (R2)", encrypt(plain, {"", "eigenaar", "40"})},
        {"rc4-128 (R3), no printing", encrypt(plain, {"", "eigenaar", "128", "--use-aes=n", "--print=none"})},
        {"aes-128 (R4)", encrypt(plain, {"", "eigenaar", "128", "--use-aes=y", "--extract=n"})},
        {"aes-256 (R6)", encrypt(plain, {"", "eigenaar", "256", "--modify=form"})},
    };
}

// Fills every text field with the prefix and its number; the values set.
std::vector<std::string> fillWritable(PDFDocument& doc, const std::string& prefix) {
    std::vector<std::string> values;
    for (size_t i = 0; i < doc.pageCount(); ++i) {
        for (const auto& a : doc.pageAtIndex(i)->annotations()) {
            if (a->widgetFieldType() != PDFAnnotationWidgetSubtypeText || a->isReadOnly()) continue;
            std::string value = prefix + std::to_string(values.size() + 1);
            if (a->setWidgetStringValue(value)) values.push_back(value);
        }
    }
    return values;
}

// What an independent reader sees of the output's encryption matches the template's.
void expectEncryptedLike(const std::string& out, const std::string& tpl) {
    CommandResult shown = qpdfOn(out, "--show-encryption");
    EXPECT_EQ(shown.output, qpdfOn(tpl, "--show-encryption").output);
    EXPECT_EQ(qpdfOn(out, "--requires-password").status, qpdfOn(tpl, "--requires-password").status);
    std::string report;
    EXPECT_TRUE(qpdfCheckClean(out, &report)) << report;
}

}  // namespace

TEST(PDFEncryption, FilledOutputIsEncryptedAsTheTemplateAndShowsTheValues) {
    for (const auto& form : openlyEncryptedForms()) {
        SCOPED_TRACE(form.name);
        auto doc = PDFDocument::initWithData(form.bytes);
        ASSERT_TRUE(doc);
        EXPECT_TRUE(doc->isEncrypted());
        EXPECT_TRUE(doc->allowsFormFilling());
        EXPECT_FALSE(PDFDocument::dataNeedsPassword(form.bytes));
        // Untouched, the template itself comes back.
        EXPECT_EQ(doc->dataRepresentation(), form.bytes);

        std::vector<std::string> values = fillWritable(*doc, "Geheim");
        ASSERT_FALSE(values.empty());
        for (bool burn : {false, true}) {
            SCOPED_TRACE(burn ? "burned in" : "fields");
            auto out = doc->dataRepresentationWithOptions({burn});
            ASSERT_TRUE(out);
            expectEncryptedLike(*out, form.bytes);
            std::string text = squeeze(pdfText(*out));
            for (const auto& v : values) EXPECT_NE(text.find(v), std::string::npos) << v << "\n" << text;
            // The same record gives the same bytes.
            EXPECT_EQ(doc->dataRepresentationWithOptions({burn}), out);

            // Reopened (remembered, and parsed anew) it is the same encrypted document.
            for (const std::string& bytes : {*out, unfamiliar(*out)}) {
                auto again = PDFDocument::initWithData(bytes);
                ASSERT_TRUE(again);
                EXPECT_TRUE(again->isEncrypted());
                auto annots = again->pageAtIndex(0)->annotations();
                if (burn) {
                    for (const auto& a : annots) EXPECT_NE(a->type(), "Widget");
                    continue;
                }
                bool found = false;
                for (const auto& a : annots) found = found || a->widgetStringValue() == values[0];
                EXPECT_TRUE(found);
                // A further change is written encrypted again.
                fillWritable(*again, "Opnieuw");
                auto twice = again->dataRepresentation();
                ASSERT_TRUE(twice);
                expectEncryptedLike(*twice, form.bytes);
                EXPECT_NE(squeeze(pdfText(*twice)).find("Opnieuw1"), std::string::npos);
            }
        }
    }
}

TEST(PDFEncryption, FreeTextAnnotationsAreWrittenIntoEncryptedOutput) {
    std::string tpl = readForm("encrypted-aes256-mixed.pdf");
    auto doc = PDFDocument::initWithData(tpl);
    ASSERT_TRUE(doc);
    auto a = PDFAnnotation::initWithBounds(PDFRect{40, 40, 300, 30}, PDFAnnotationSubtypeFreeText);
    a->setContents("Watermerk");
    a->setFont(PDFFont{FontService::shared().systemUIFace(), 14});
    a->setShouldPrint(true);
    ASSERT_TRUE(doc->pageAtIndex(0)->addAnnotation(a));
    for (bool burn : {false, true}) {
        auto out = doc->dataRepresentationWithOptions({burn});
        ASSERT_TRUE(out);
        expectEncryptedLike(*out, tpl);
        EXPECT_NE(pdfText(*out).find("Watermerk"), std::string::npos) << burn;
    }
}

TEST(PDFEncryption, CombinedOutputIsEncryptedAsItsTemplateAndRefusesMixtures) {
    std::string plain = plainForm();
    std::string aes = encrypt(plain, {"", "eigenaar", "256"});
    std::string rc4 = encrypt(plain, {"", "eigenaar", "128", "--use-aes=n"});
    // Burns record by record, reopens the result (every other one parsed anew) and appends it.
    auto append = [](PDFDocument& combined, const std::string& tpl, const std::string& prefix, bool parse) {
        auto doc = PDFDocument::initWithData(tpl);
        ASSERT_TRUE(doc);
        fillWritable(*doc, prefix);
        auto flat = doc->dataRepresentationWithOptions({true});
        ASSERT_TRUE(flat);
        auto reopened = PDFDocument::initWithData(parse ? unfamiliar(*flat) : *flat);
        ASSERT_TRUE(reopened);
        for (size_t i = 0; i < reopened->pageCount(); ++i)
            ASSERT_TRUE(combined.insertPage(reopened->pageAtIndex(i)->copy(), combined.pageCount()));
    };

    for (const std::string* tpl : {&aes, &rc4}) {
        auto combined = PDFDocument::init();
        for (int r = 0; r < 4; ++r) append(*combined, *tpl, "Rec" + std::to_string(r) + "-", r % 2);
        auto out = combined->dataRepresentation();
        ASSERT_TRUE(out);
        expectEncryptedLike(*out, *tpl);
        std::string text = squeeze(pdfText(*out));
        for (int r = 0; r < 4; ++r) EXPECT_NE(text.find("Rec" + std::to_string(r) + "-2"), std::string::npos) << text;
    }

    auto mixed = PDFDocument::init();
    append(*mixed, aes, "A", false);
    append(*mixed, plain, "P", false);
    EXPECT_FALSE(mixed->dataRepresentation()) << "encrypted and plain pages";
    auto twoWays = PDFDocument::init();
    append(*twoWays, aes, "A", false);
    append(*twoWays, rc4, "R", true);
    EXPECT_FALSE(twoWays->dataRepresentation()) << "two encryptions";
    // The plain template alone stays plain.
    auto plainOnly = PDFDocument::init();
    append(*plainOnly, plain, "P", false);
    auto out = plainOnly->dataRepresentation();
    ASSERT_TRUE(out);
    EXPECT_EQ(qpdfOn(*out, "--is-encrypted").status, 2);
}

TEST(PDFEncryption, PasswordsAndPermissionsAreToldApart) {
    std::string plain = plainForm();
    std::string locked = encrypt(plain, {"gebruiker", "eigenaar", "256"});
    EXPECT_FALSE(PDFDocument::initWithData(locked));
    EXPECT_TRUE(PDFDocument::dataNeedsPassword(locked));
    EXPECT_TRUE(PDFDocument::dataNeedsPassword(encrypt(plain, {"gebruiker", "eigenaar", "128", "--use-aes=n"})));
    for (const std::string& other :
         {plain, std::string("geen pdf"), std::string(), locked.substr(0, locked.size() / 2)})
        EXPECT_FALSE(PDFDocument::dataNeedsPassword(other));

    auto open = PDFDocument::initWithData(plain);
    ASSERT_TRUE(open);
    EXPECT_FALSE(open->isEncrypted());
    EXPECT_TRUE(open->allowsFormFilling());
    // Annotations forbidden but forms allowed (the real AES-256 form) is enough to fill.
    EXPECT_TRUE(PDFDocument::initWithData(readForm("encrypted-aes256-mixed.pdf"))->allowsFormFilling());
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"", "eigenaar", "128", "--use-aes=n", "--form=n", "--annotate=n"},
          std::vector<std::string>{"", "eigenaar", "256", "--modify=none"}}) {
        auto closed = PDFDocument::initWithData(encrypt(plain, args));
        ASSERT_TRUE(closed);
        EXPECT_TRUE(closed->isEncrypted());
        EXPECT_FALSE(closed->allowsFormFilling());
    }
}

TEST(PDFEncryption, DamagedEncryptedFilesNeverCrash) {
    std::string tpl = readForm("encrypted-aes128-text.pdf");
    std::vector<std::string> inputs = {tpl.substr(0, tpl.size() / 3), tpl.substr(0, tpl.size() - 200)};
    // Bytes flipped across the file, the encryption dictionary included.
    for (size_t at = 9; at < tpl.size(); at += tpl.size() / 23) {
        std::string damaged = tpl;
        for (size_t i = at; i < std::min(at + 40, damaged.size()); ++i)
            damaged[i] = static_cast<char>(damaged[i] ^ 0x5A);
        inputs.push_back(damaged);
    }
    size_t enc = tpl.find("/Encrypt");
    if (enc != std::string::npos) {
        std::string noKey = tpl;
        noKey.replace(enc, 8, "/Encrypx");
        inputs.push_back(noKey);
    }
    for (size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(i);
        PDFDocument::dataNeedsPassword(inputs[i]);
        auto doc = PDFDocument::initWithData(inputs[i]);
        if (!doc) continue;
        fillWritable(*doc, "x");
        for (bool burn : {false, true}) {
            auto out = doc->dataRepresentationWithOptions({burn});
            if (out) {
                EXPECT_TRUE(PDFDocument::initWithData(unfamiliar(*out)));
            }
        }
    }
}
