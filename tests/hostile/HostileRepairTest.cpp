// Templates that make the work per page or per stream explode: a page tree that lists one page
// a hundred thousand times, a damaged file whose streams inflate to gigabytes (it is repaired
// before use), an object stream that inflates to a gigabyte. Each runs in a child process under
// limits on memory and processor time, so an explosion shows as a failed limit, not a slow test.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Bounds.h"
#include "PlainPdf.h"
#include "engine/Engine.h"
#include "input/Template.h"
#include "localization/Text.h"
#include "support/MergeRun.h"
#include "support/TestSupport.h"

namespace {

using namespace qvhostile;
using qvtest::TempDir;

using qvtest::kInvalid;

bool mergeOne(const std::string& form, const TempDir& dir, QVError* error) {
    QVMergeSettings settings = qvtest::mergeSettings(form, "Naam\nAnna\n", dir.path());
    settings.filenamePattern = "{#}";
    return QVMergeWithSettings(settings, nullptr, error);
}

// 0 when listing the fields and merging one record both refuse `form` as damaged.
int refusedAsDamaged(const std::string& form) {
    QVError error;
    if (QVTemplateFieldNames(form, &error) || error.message != QVText(kInvalid)) {
        std::fprintf(stderr, "fields: %s\n", error.message.c_str());
        return 1;
    }
    TempDir dir;
    if (mergeOne(form, dir, &error) || error.message != QVText(kInvalid)) {
        std::fprintf(stderr, "merge: %s\n", error.message.c_str());
        return 2;
    }
    return 0;
}

// A one-field form whose page tree lists the page `times` times, directly or through one
// intermediate node listed `times` times.
std::string repeatedPageForm(int times, bool throughNode) {
    PdfWriter pdf;
    std::string kids;
    for (int i = 0; i < times; ++i) kids += throughNode ? "6 0 R " : "3 0 R ";
    const std::string count = std::to_string(times);
    pdf.add(
        "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [5 0 R] /DA (/Helv 10 Tf 0 g) "
        "/DR << /Font << /Helv 4 0 R >> >> >> >>");
    pdf.add("<< /Type /Pages /Kids [" + kids + "] /Count " + count + " >>");
    pdf.add(std::string("<< /Type /Page /Parent ") + (throughNode ? "6" : "2") +
            " 0 R /MediaBox [0 0 595 842] /Annots [5 0 R] >>");
    pdf.add("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    pdf.add(textWidget("Naam"));
    pdf.add("<< /Type /Pages /Parent 2 0 R /Kids [3 0 R] /Count 1 >>");
    return pdf.build();
}

TEST(HostileRepair, APageTreeThatListsOnePageManyTimesIsRefusedAsDamaged) {
    // 20,000 listings (120 KB) used to cost minutes of work per record, 200,000 a gigabyte just
    // to list the fields; either is refused within a fraction of the limits.
    for (int times : {2, 20000, 200000}) {
        for (bool throughNode : {false, true}) {
            const std::string form = repeatedPageForm(times, throughNode);
            Bounded run = runBounded([&] { return refusedAsDamaged(form); }, 256 * kMiB, 10);
            EXPECT_TRUE(run.withinBounds()) << times << " listings, code " << run.code << " signal " << run.signal;
        }
    }
    // Listed once, the same form is fine.
    QVError error;
    EXPECT_EQ(QVTemplateFieldNames(repeatedPageForm(1, true), &error), std::vector<std::string>{"Naam"})
        << error.message;
}

// A form whose page content is `streams` streams, each doubly deflated and inflating to
// `size` bytes, with a cross-reference offset that points nowhere, so that it is repaired.
std::string damagedFormWithInflatingContent(int streams, size_t size) {
    const std::string bomb = deflated(deflatedZeros(size));
    PdfWriter pdf;
    std::string contents;
    for (int i = 0; i < streams; ++i) contents += ref(6 + i) + " ";
    addFormSkeleton(pdf, "5 0 R", "5 0 R", "/Contents [" + contents + "]");
    pdf.add(textWidget("Naam"));
    for (int i = 0; i < streams; ++i) pdf.addStream(" /Filter [/FlateDecode /FlateDecode]", bomb);
    std::string bytes = pdf.build();
    const size_t at = bytes.rfind("startxref\n") + 10;
    return bytes.replace(at, bytes.find('\n', at) - at, "12");
}

TEST(HostileRepair, RepairingADamagedFileNeverInflatesItsStreams) {
    // Sixteen streams of 512 MiB each: 8 GiB, a few kilobytes on disk.
    const std::string form = damagedFormWithInflatingContent(16, size_t{512} << 20);
    ASSERT_LT(form.size(), 64u * 1024);
    TempDir dir;
    Bounded run = runBounded(
        [&] {
            QVError error;
            auto names = QVTemplateFieldNames(form, &error);
            if (!names || *names != std::vector<std::string>{"Naam"}) {
                std::fprintf(stderr, "fields: %s\n", error.message.c_str());
                return 1;
            }
            if (!mergeOne(form, dir, &error)) {
                std::fprintf(stderr, "merge: %s\n", error.message.c_str());
                return 2;
            }
            return 0;
        },
        512 * kMiB, 15);
    ASSERT_TRUE(run.withinBounds()) << "code " << run.code << " signal " << run.signal;
    // The output holds the streams as the template held them, not inflated and re-compressed.
    const auto written = std::filesystem::file_size(dir / "000001.pdf");
    EXPECT_LT(written, form.size() + 64 * 1024);
    // Still a PDF another reader opens (the page count reads no content).
    qvtest::CommandResult pages = qvtest::runCommand({"qpdf", "--show-npages", (dir / "000001.pdf").string()});
    EXPECT_EQ(pages.output, "1\n") << pages.errors;
}

// A form whose widget lives in an object stream of `padding` trailing spaces, doubly deflated,
// found through a cross-reference stream.
std::string objectStreamForm(size_t padding) {
    const std::string widget = textWidget("Naam");
    const std::string header = "5 0 ";
    const std::string data = deflated(deflatedFill(header + widget, padding, ' '));
    PdfWriter pdf;
    addFormSkeleton(pdf, "5 0 R", "5 0 R");
    const int inStream = pdf.reserve();
    const int objectStream = pdf.addStream(
        " /Type /ObjStm /N 1 /First " + std::to_string(header.size()) + " /Filter [/FlateDecode /FlateDecode]", data);
    pdf.placeInObjectStream(inStream, objectStream);
    return pdf.buildWithXrefStream();
}

TEST(HostileRepair, AnObjectStreamThatInflatesToAGigabyteIsDamageNotAnEmptyForm) {
    // The same form with a small object stream is read as usual.
    QVError error;
    EXPECT_EQ(QVTemplateFieldNames(objectStreamForm(1000), &error), std::vector<std::string>{"Naam"}) << error.message;

    const std::string bomb = objectStreamForm(size_t{1} << 30);
    ASSERT_LT(bomb.size(), 16u * 1024);
    Bounded run = runBounded([&] { return refusedAsDamaged(bomb); }, 512 * kMiB, 30);
    EXPECT_TRUE(run.withinBounds()) << "code " << run.code << " signal " << run.signal;
}

}  // namespace
