#include <gtest/gtest.h>

#include "platform/Error.h"
#include "platform/Format.h"

TEST(Format, FillsDirectivesInOrder) {
    EXPECT_EQ(QVFormat("CSV-record %lu heeft een afwijkend aantal kolommen.", {3ul}),
              "CSV-record 3 heeft een afwijkend aantal kolommen.");
    EXPECT_EQ(QVFormat("%@\n%lu PDF-bestanden zijn al gemaakt.", {std::string("Fout"), 2ul}),
              "Fout\n2 PDF-bestanden zijn al gemaakt.");
    EXPECT_EQ(QVFormat("PDF sluiten mislukt: %s. Het onvolledige bestand '%@' kon niet worden verwijderd: %s",
                       {"Input/output error", std::string("a.pdf"), "Permission denied"}),
              "PDF sluiten mislukt: Input/output error. Het onvolledige bestand 'a.pdf' kon niet worden "
              "verwijderd: Permission denied");
    EXPECT_EQ(QVFormat("100%% klaar"), "100% klaar");
}

TEST(Format, ValuesAreNeverReinterpreted) {
    // A value that itself holds directives is copied, not expanded.
    EXPECT_EQ(QVFormat("'%@' en '%@'", {std::string("%@%lu%s"), std::string("b")}), "'%@%lu%s' en 'b'");
}

TEST(Format, BrokenFormatsNeverCrash) {
    // A translation may lose or reorder arguments; the formatter prints nothing for those.
    EXPECT_EQ(QVFormat("%@ %@ %lu", {std::string("x")}), "x  ");
    EXPECT_EQ(QVFormat("tail %"), "tail %");
    EXPECT_EQ(QVFormat("%d %x %lu", {7ul}), "%d %x 7");
    EXPECT_EQ(QVFormat("%lu", {std::string("not a number")}), "");
}

TEST(Fail, FillsReportWhenGivenAndAlwaysAnswersFalse) {
    QVError error;
    EXPECT_FALSE(QVFail(&error, "Ongeldig scheidingsteken."));
    EXPECT_EQ(error.domain, "Quorvel");
    EXPECT_EQ(error.code, 1);
    EXPECT_EQ(error.localizedDescription(), "Ongeldig scheidingsteken.");
    EXPECT_FALSE(QVFail(nullptr, "ignored"));
}
