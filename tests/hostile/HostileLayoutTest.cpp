// Values and forms that make laying out text expensive: a cell of hundreds of kilobytes wrapped
// in a multi-line field at a tiny or automatic size, tens of thousands of words in a wide field,
// and one field shown by ten thousand widgets. Each merge runs in a child process under limits
// on processor time, so work that grows with the square of the input shows as a failed limit.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "Bounds.h"
#include "PlainPdf.h"
#include "engine/Engine.h"
#include "support/MergeRun.h"
#include "support/TestSupport.h"

namespace {

using namespace qvhostile;
using qvtest::TempDir;

int mergeOne(const std::string& form, const std::string& cell) {
    TempDir dir;
    const std::string data = "Naam\n" + cell + "\n";
    QVMergeSettings settings = qvtest::mergeSettings(form, data, dir.path());
    settings.filenamePattern = "{#}";
    QVError error;
    if (!QVMergeWithSettings(settings, nullptr, &error)) {
        std::fprintf(stderr, "merge: %s\n", error.message.c_str());
        return 1;
    }
    return 0;
}

// A one-field form whose multi-line field is `width` points wide, with the /DA given.
std::string multilineForm(const std::string& da, double width) {
    PdfWriter pdf;
    addFormSkeleton(pdf, "5 0 R", "5 0 R");
    pdf.add("<< /Type /Annot /Subtype /Widget /FT /Tx /T (Naam) /Ff 4096 /DA (" + da + ") /Rect [20 100 " +
            std::to_string(20 + width) + " 800] /P 3 0 R >>");
    return pdf.build();
}

std::string words(size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) out += i % 7 == 0 ? "woordenboek " : "en ";
    return out;
}

}  // namespace

TEST(HostileLayout, WrappingAHugeCellTakesLinearTime) {
    // A 180 KB cell at 0.01 points took 45.7 s, 60,000 words in a wide field 109 s: every word
    // measured its whole line again.
    struct Case {
        const char* da;
        double width;
        size_t words;
    };
    const Case cases[] = {{"/Helv 0.01 Tf 0 g", 400, 45000},
                          {"/Helv 0 Tf 0 g", 400, 45000},
                          {"/Helv 1 Tf 0 g", 560, 60000},
                          {"/Helv 0.01 Tf 0 g", 560, 60000}};
    for (const Case& c : cases) {
        const std::string form = multilineForm(c.da, c.width);
        const std::string cell = words(c.words);
        Bounded run = runBounded([&] { return mergeOne(form, cell); }, 512 * kMiB, 10);
        EXPECT_TRUE(run.withinBounds()) << c.da << " " << c.words << " words: code " << run.code << " signal "
                                        << run.signal;
    }
}

TEST(HostileLayout, AFieldOfManyWidgetsDrawsEachWidgetOnce) {
    // 10,000 widgets of one field took 7.9 s per record: each widget's fill drew all of them.
    const int count = 10000;
    PdfWriter pdf;
    std::string kids;
    for (int i = 0; i < count; ++i) kids += std::to_string(6 + i) + " 0 R ";
    addFormSkeleton(pdf, "5 0 R", kids);
    pdf.add("<< /FT /Tx /T (Naam) /DA (/Helv 0 Tf 0 g) /Kids [" + kids + "] >>");
    for (int i = 0; i < count; ++i) {
        double x = 20 + (i % 20) * 28, y = 20 + (i / 20) * 1.5;
        pdf.add("<< /Type /Annot /Subtype /Widget /Parent 5 0 R /P 3 0 R /Rect [" + std::to_string(x) + " " +
                std::to_string(y) + " " + std::to_string(x + 26) + " " + std::to_string(y + 12) + "] >>");
    }
    const std::string form = pdf.build();
    Bounded run = runBounded([&] { return mergeOne(form, "Anna"); }, 1024 * kMiB, 10);
    EXPECT_TRUE(run.withinBounds()) << "code " << run.code << " signal " << run.signal;
}
