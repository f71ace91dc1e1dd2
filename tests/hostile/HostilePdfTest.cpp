// Templates built to hurt: cycles, deep nesting, page tree loops, many pages, many fields and
// streams that inflate to gigabytes. Each is either read and merged within bounded time and
// memory or refused with a clear message.

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "Bounds.h"
#include "PlainPdf.h"
#include "engine/Engine.h"
#include "input/Template.h"
#include "localization/Text.h"
#include "support/FormFixtures.h"
#include "support/MergeRun.h"
#include "support/TestSupport.h"

namespace {

using namespace qvhostile;
using qvtest::TempDir;

struct Outcome {
    std::optional<std::vector<std::string>> names;
    std::string message;
    double seconds = 0;
};

Outcome fieldNames(const std::string& bytes) {
    Stopwatch watch;
    QVError error;
    Outcome out;
    out.names = QVTemplateFieldNames(bytes, &error);
    out.message = error.message;
    out.seconds = watch.seconds();
    return out;
}

// A merge's outcome and how long it took.
struct TimedMerge : qvtest::MergeOutcome {
    double seconds = 0;
};

TimedMerge merge(const std::string& form, const std::string& data, QVOutputMode mode, const TempDir& dir,
                 const std::string& pattern = "{#}") {
    Stopwatch watch;
    QVMergeSettings settings = qvtest::mergeSettings(form, data, dir.path());
    settings.mode = mode;
    settings.filenamePattern = pattern;
    TimedMerge out{qvtest::runMerge(settings)};
    out.seconds = watch.seconds();
    return out;
}

using qvtest::kInvalid;
using qvtest::kUnsupported;

// A refusal must be one of the template's own messages, never an empty or internal one.
void expectCleanRefusal(const Outcome& outcome) {
    EXPECT_LT(outcome.seconds, kSecondsLimit);
    if (outcome.names) return;
    EXPECT_TRUE(outcome.message == QVText(kInvalid) || outcome.message == QVText(kUnsupported) ||
                outcome.message == QVText("Het PDF-sjabloon bevat geen ondersteunde tekstvelden."))
        << outcome.message;
}

TEST(HostilePdf, CyclesInTheFieldTreeEndAndAreRefused) {
    // A widget that is its own parent.
    PdfWriter self;
    addFormSkeleton(self, "5 0 R", "5 0 R");
    self.add(textWidget("a", "/Parent 5 0 R"));
    // Two fields that are each other's parent and kid.
    PdfWriter pair;
    addFormSkeleton(pair, "6 0 R", "5 0 R");
    pair.add(textWidget("a", "/Parent 6 0 R"));
    pair.add("<< /FT /Tx /T (b) /Parent 5 0 R /Kids [5 0 R] >>");
    // A kid list that contains its own field, reached from the AcroForm.
    PdfWriter kids;
    addFormSkeleton(kids, "6 0 R", "5 0 R");
    kids.add(textWidget("a", "/Parent 6 0 R"));
    kids.add("<< /FT /Tx /T (b) /Kids [5 0 R 6 0 R] >>");

    for (const PdfWriter* pdf : {&self, &pair, &kids}) {
        Outcome outcome = fieldNames(pdf->build());
        expectCleanRefusal(outcome);
        // A name of a field whose ancestry loops has no end: it cannot be filled.
        EXPECT_FALSE(outcome.names && !outcome.names->empty() && outcome.names->front().size() > 1000);
    }
}

TEST(HostilePdf, DeepNestingIsReadOrRefusedWithoutExhaustingTheStack) {
    // A field hierarchy five thousand levels deep, named "n.n.n...".
    PdfWriter fields;
    const int depth = 5000;
    addFormSkeleton(fields, "6 0 R", "5 0 R");
    fields.add(textWidget("n", "/Parent 6 0 R"));
    for (int level = 0; level < depth; ++level) {
        const int self = 6 + level;
        std::string parent = level + 1 < depth ? " /Parent " + ref(self + 1) : "";
        fields.add("<< /FT /Tx /T (n) /Kids [" + ref(self - 1) + "]" + parent + " >>");
    }
    expectCleanRefusal(fieldNames(fields.build()));

    // An array nested a hundred thousand deep in the page dictionary.
    PdfWriter arrays;
    addFormSkeleton(arrays, "5 0 R", "5 0 R", "/Deep " + std::string(100000, '[') + std::string(100000, ']'));
    arrays.add(textWidget("a"));
    expectCleanRefusal(fieldNames(arrays.build()));

    // A page tree five thousand nodes deep above the only page.
    PdfWriter pages;
    pages.add("<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R] >> >>");
    pages.add("");  // the root, filled in below
    pages.add("");  // the page
    pages.add(textWidget("a"));
    int parent = 2;
    std::vector<int> nodes;
    for (int level = 0; level < 5000; ++level) nodes.push_back(pages.add(""));
    pages.set(2, "<< /Type /Pages /Kids [" + ref(nodes[0]) + "] /Count 1 >>");
    for (size_t i = 0; i < nodes.size(); ++i) {
        std::string kid = i + 1 < nodes.size() ? ref(nodes[i + 1]) : "3 0 R";
        pages.set(nodes[i], "<< /Type /Pages /Parent " + ref(parent) + " /Kids [" + kid + "] /Count 1 >>");
        parent = nodes[i];
    }
    pages.set(3, "<< /Type /Page /Parent " + ref(parent) + " /MediaBox [0 0 595 842] /Annots [4 0 R] >>");
    expectCleanRefusal(fieldNames(pages.build()));
}

TEST(HostilePdf, PageTreeLoopsAreRefusedOrCutShort) {
    // The root lists itself among its kids; a node lists its own parent.
    PdfWriter self;
    self.add("<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R] >> >>");
    self.add("<< /Type /Pages /Kids [3 0 R 2 0 R] /Count 2 >>");
    self.add("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Annots [4 0 R] >>");
    self.add(textWidget("a"));
    PdfWriter mutual;
    mutual.add("<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R] >> >>");
    mutual.add("<< /Type /Pages /Kids [5 0 R] /Count 1 >>");
    mutual.add("<< /Type /Page /Parent 5 0 R /MediaBox [0 0 595 842] /Annots [4 0 R] >>");
    mutual.add(textWidget("a"));
    mutual.add("<< /Type /Pages /Parent 2 0 R /Kids [3 0 R 2 0 R] /Count 1 >>");

    for (const PdfWriter* pdf : {&self, &mutual}) {
        const std::string bytes = pdf->build();
        expectCleanRefusal(fieldNames(bytes));
        TempDir dir;
        TimedMerge outcome = merge(bytes, "a\nx\n", QVOutputModeCombined, dir);
        EXPECT_LT(outcome.seconds, kSecondsLimit);
        EXPECT_TRUE(outcome.ok || !outcome.message.empty());
    }
}

TEST(HostilePdf, ThousandsOfPagesMergeInBoundedTime) {
    qvfixture::FormBuilder form;
    const int field = form.addText("Naam");
    int last = 0;
    for (int page = 0; page < 2000; ++page) last = form.addPage("pagina " + std::to_string(page + 1));
    form.addWidget(last, field);
    const std::string bytes = form.build();

    Outcome names = fieldNames(bytes);
    ASSERT_TRUE(names.names) << names.message;
    EXPECT_EQ(*names.names, std::vector<std::string>{"Naam"});

    TempDir dir;
    TimedMerge outcome = merge(bytes, "Naam\nAnna\nBram\n", QVOutputModeCombined, dir);
    EXPECT_TRUE(outcome.ok) << outcome.message;
    EXPECT_LT(outcome.seconds, kSecondsLimit);
    qvtest::CommandResult check =
        qvtest::runCommand({"qpdf", "--show-npages", (dir / "merge-gecombineerd.pdf").string()});
    EXPECT_EQ(check.output, "4000\n");
}

TEST(HostilePdf, TenThousandFieldsAreListedAndFilled) {
    std::vector<std::string> names;
    std::string header, row;
    for (int i = 0; i < 10000; ++i) {
        names.push_back("veld" + std::to_string(i));
        header += (i ? "," : "") + names.back();
        row += (i ? "," : "") + std::to_string(i);
    }
    const std::string bytes = qvfixture::textForm(names);
    Outcome listed = fieldNames(bytes);
    ASSERT_TRUE(listed.names) << listed.message;
    EXPECT_EQ(*listed.names, names);
    EXPECT_LT(listed.seconds, kSecondsLimit);

    TempDir dir;
    TimedMerge outcome = merge(bytes, header + "\n" + row + "\n", QVOutputModeSeparate, dir);
    EXPECT_TRUE(outcome.ok) << outcome.message;
    EXPECT_LT(outcome.seconds, kSecondsLimit);
    Outcome filled = fieldNames(qvtest::readFile(dir / "000001.pdf"));
    ASSERT_TRUE(filled.names);
    EXPECT_EQ(filled.names->size(), 10000u);
}

// One GiB of zeros, ~1 MiB on disk, as page content or as the form font's embedded program.
std::string inflatingForm(bool asContent) {
    const std::string bomb = deflatedZeros(size_t{1} << 30);
    PdfWriter pdf;
    pdf.add(
        "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [5 0 R] /DA (/Bomb 10 Tf 0 g) "
        "/DR << /Font << /Bomb 7 0 R >> >> >> >>");
    pdf.add("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.add("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Annots [5 0 R] /Contents 4 0 R >>");
    pdf.addStream(" /Filter /FlateDecode", asContent ? bomb : deflatedZeros(16));
    pdf.add(textWidget("Naam"));
    pdf.addStream(" /Filter /FlateDecode", asContent ? deflatedZeros(16) : bomb);
    pdf.add(
        "<< /Type /Font /Subtype /TrueType /BaseFont /Bom /FirstChar 32 /LastChar 32 /Widths [500] "
        "/FontDescriptor 8 0 R >>");
    pdf.add(
        "<< /Type /FontDescriptor /FontName /Bom /Flags 32 /FontBBox [0 0 1000 1000] /ItalicAngle 0 "
        "/Ascent 800 /Descent -200 /CapHeight 700 /StemV 80 /FontFile2 6 0 R >>");
    return pdf.build();
}

void expectBoundedMerges(const std::string& bytes) {
    const long before = peakMiB();
    expectCleanRefusal(fieldNames(bytes));
    for (QVOutputMode mode : {QVOutputModeSeparate, QVOutputModeCombined}) {
        TempDir dir;
        TimedMerge outcome = merge(bytes, "Naam\nAnna\n", mode, dir);
        EXPECT_LT(outcome.seconds, kSecondsLimit);
        EXPECT_TRUE(outcome.ok || !outcome.message.empty());
        EXPECT_LT(peakMiB() - before, 768) << "an inflated stream was held in memory (mode " << mode << ")";
    }
}

TEST(HostilePdf, PageContentThatInflatesToGigabytesIsNeverHeldWhole) { expectBoundedMerges(inflatingForm(true)); }

// A form font's embedded program is read through a bounded sink, never inflated whole.
TEST(HostilePdf, AFontProgramThatInflatesToGigabytesIsNeverHeldWhole) { expectBoundedMerges(inflatingForm(false)); }

}  // namespace
