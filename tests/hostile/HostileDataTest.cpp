// Data files and patterns built to hurt: a million columns, a 100 MB cell, a million records,
// NUL bytes, encoded surrogates, a byte-order mark inside the header, ten thousand
// placeholders. Each is parsed or merged within bounded time and memory, or refused clearly.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Bounds.h"
#include "engine/Engine.h"
#include "localization/Text.h"
#include "output/Pattern.h"
#include "platform/Format.h"
#include "support/FormFixtures.h"
#include "support/MergeRun.h"
#include "support/TestSupport.h"

namespace {

using namespace qvhostile;
using qvtest::TempDir;

bool mergeInto(const TempDir& dir, const std::string& form, const std::string& data, const std::string& pattern,
               QVError* error, const std::optional<std::string>& watermarkPattern = std::nullopt) {
    QVMergeSettings settings = qvtest::mergeSettings(form, data, dir.path());
    settings.filenamePattern = pattern;
    settings.watermarkPattern = watermarkPattern;
    return QVMergeWithSettings(settings, nullptr, error);
}

TEST(HostileData, AMillionColumnsParseAndMerge) {
    std::string header, row;
    header.reserve(8 << 20);
    for (int i = 0; i < 1000000; ++i) {
        header += (i ? ",c" : "c") + std::to_string(i);
        row += i ? ",v" : "v";
    }
    Stopwatch watch;
    std::optional<QVRecordTable> table = QVParseCSV(header + "\n" + row + "\n");
    ASSERT_TRUE(table);
    EXPECT_EQ(table->columnCount(), 1000000u);
    // A repeated name at the very end is still found.
    QVError error;
    EXPECT_FALSE(QVParseCSV(header + ",c0\n" + row + ",v\n", &error));
    EXPECT_EQ(error.message, QVText("CSV-kolomnamen mogen niet leeg of dubbel zijn."));

    // The form's field is the last column, the file name the one before it.
    TempDir dir;
    ASSERT_TRUE(mergeInto(dir, qvfixture::textForm({"c999999"}), header + "\n" + row + "\n", "{c999998}-{#}", &error))
        << error.message;
    EXPECT_TRUE(std::filesystem::exists(dir / "v-000001.pdf"));
    EXPECT_LT(watch.seconds(), kSecondsLimit);
}

TEST(HostileData, AHundredMegabyteCellIsReadAndRefusedWhereItCannotFit) {
    std::string data = "Naam,Stad\n\"" + std::string(100 << 20, 'x') + "\",Delft\n";
    const long before = peakMiB();
    Stopwatch watch;
    {
        std::optional<QVRecordTable> table = QVParseCSV(data);
        ASSERT_TRUE(table);
        EXPECT_EQ(table->cell(1, 0).size(), size_t{100} << 20);
    }
    // As a file name it is far too long; nothing is written.
    TempDir dir;
    QVError error;
    EXPECT_FALSE(mergeInto(dir, qvfixture::textForm({"Stad"}), data, "{Naam}", &error));
    EXPECT_EQ(error.message, QVFormat(QVText("Bestandsnaam voor record %lu is te lang."), {1ul}));
    // A field with a maximum length refuses it before any file exists.
    qvfixture::FormBuilder form;
    form.addWidget(form.addPage(), form.addField({"Naam", "/Tx", 0, 40}));
    EXPECT_FALSE(mergeInto(dir, form.build(), data, "{Stad}", &error));
    EXPECT_EQ(error.message, QVFormat(QVText("Waarde voor '%@' in record %lu is te lang."), {"Naam", 2ul}));
    EXPECT_EQ(qvtest::folderEntries(dir.path()).size(), 0u);
    EXPECT_LT(watch.seconds(), kSecondsLimit);
    // The text, the table and a copy or two: nothing that grows with the cell more than that.
    EXPECT_LT(peakMiB() - before, 600);
}

TEST(HostileData, AHugeCellIsDrawnInPartAndStoredWholeWithinAFewTimesItsSize) {
    // Words of text in a one-line and a multi-line field, far more than either can show.
    constexpr size_t kCell = size_t{48} << 20;
    std::string words;
    words.reserve(kCell);
    while (words.size() < kCell) words += "tekst zonder einde ";
    const std::string data = "Regel,Blok\n" + words + "," + words + "\n";
    qvfixture::FormBuilder form;
    const int page = form.addPage();
    form.addWidget(page, form.addText("Regel"));
    form.addWidget(page, form.addText("Blok", 1 << 12));  // multi-line
    const std::string bytes = form.build();
    for (QVOutputMode mode : {QVOutputModeSeparate, QVOutputModeCombined}) {
        SCOPED_TRACE(mode);
        TempDir dir;
        // Each value is kept whole: in the field, in its /V string, in the written object and in
        // the file's bytes. A few copies of each cell, never one per step of drawing it.
        Bounded run = runBounded(
            [&] {
                QVMergeSettings settings = qvtest::mergeSettings(bytes, data, dir.path());
                settings.mode = mode;
                return QVMergeWithSettings(settings, nullptr, nullptr) ? 0 : 1;
            },
            16 * kCell, 120);
        EXPECT_TRUE(run.withinBounds()) << run.signal;
        ASSERT_EQ(qvtest::folderEntries(dir.path()).size(), 1u);
        if (mode != QVOutputModeSeparate) continue;
        // The field values are whole: only their pictures are cut short.
        const auto file = std::filesystem::directory_iterator(dir.path())->path();
        std::shared_ptr<qvpdf::PDFDocument> output = qvpdf::PDFDocument::initWithData(qvtest::readFile(file));
        ASSERT_TRUE(output && output->pageCount() == 1);
        size_t whole = 0;
        for (const auto& widget : output->pageAtIndex(0)->annotations()) whole += widget->widgetStringValue() == words;
        EXPECT_EQ(whole, 2u);
    }
}

TEST(HostileData, AMillionRecordsAreCheckedBeforeAnyFileExists) {
    std::string data = "Naam,Stad\n";
    data.reserve(20 << 20);
    for (int i = 1; i <= 1000000; ++i) data += "n" + std::to_string(i) + ",s\n";
    data += "n1,s\n";  // the last record repeats the first record's file name
    Stopwatch watch;
    std::optional<QVRecordTable> table = QVParseCSV(data);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->rowCount(), 1000002u);

    TempDir dir;
    QVError error;
    EXPECT_FALSE(mergeInto(dir, qvfixture::textForm({"Stad"}), data, "{Naam}", &error));
    EXPECT_EQ(error.message, QVFormat(QVText("Dubbele bestandsnaam '%@' bij record %lu. Voeg bijvoorbeeld {#} toe."),
                                      {"n1.pdf", 1000001ul}));
    EXPECT_EQ(qvtest::folderEntries(dir.path()).size(), 0u);
    EXPECT_LT(watch.seconds(), kSecondsLimit);
}

TEST(HostileData, NulBytesStayDataAndNeverReachAFileName) {
    const std::string data = std::string("Naam,Stad\nAn\0na,De\0lft\n", 23);
    std::optional<QVRecordTable> table = QVParseCSV(data);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->cell(1, 0), std::string_view("An\0na", 5));

    TempDir dir;
    QVError error;
    EXPECT_FALSE(mergeInto(dir, qvfixture::textForm({"Stad"}), data, "{Naam}", &error));
    EXPECT_EQ(error.message,
              QVFormat(QVText("Ongeldige bestandsnaam voor record %lu. Gebruik geen /, \\, :, controletekens, "
                              "beginpunt of spaties aan het begin of einde."),
                       {1ul}));
    // As a field value it is filled or refused, never cut short silently into a crash.
    bool ok = mergeInto(dir, qvfixture::textForm({"Stad"}), data, "{#}", &error);
    EXPECT_TRUE(ok || !error.message.empty());
    EXPECT_EQ(qvtest::folderEntries(dir.path()).size(), ok ? 1u : 0u);

    // A NUL in a column name is part of the name, not its end.
    EXPECT_FALSE(QVExpandPattern("{Na}", std::vector<std::string_view>{std::string_view("Na\0m", 4)},
                                 std::vector<std::string_view>{"x"}, 1, 0, &error));
}

TEST(HostileData, EncodedSurrogatesAreRefusedWhenTheFileIsRead) {
    TempDir dir;
    for (const char* surrogate : {"\xED\xA0\x80", "\xED\xBF\xBF", "\xED\xA0\xBD\xED\xB8\x80"}) {
        qvtest::writeFile(dir / "data.csv", std::string("Naam\nA") + surrogate + "\n");
        QVError error;
        EXPECT_FALSE(QVReadDataFile(dir / "data.csv", &error));
        EXPECT_TRUE(error.message.starts_with(QVFormat(QVText("CSV lezen mislukt: %@"), {""})));
        EXPECT_NE(error.message.find("data.csv"), std::string::npos) << error.message;
        // The position of the bad byte: "Naam\nA" is six bytes.
        EXPECT_NE(error.message.find(" 6"), std::string::npos) << error.message;
    }
}

TEST(HostileData, AByteOrderMarkInsideTheHeaderBelongsToTheName) {
    const std::string data = "Naam,\xEF\xBB\xBFStad\nAnna,Delft\n";
    std::optional<QVRecordTable> table = QVParseCSV(data);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->cell(0, 1), "\xEF\xBB\xBFStad");
    TempDir dir;
    QVError error;
    EXPECT_FALSE(mergeInto(dir, qvfixture::textForm({"Stad"}), data, "{#}", &error));
    EXPECT_EQ(error.message, QVFormat(QVText("CSV-kolom ontbreekt voor PDF-veld '%@'."), {"Stad"}));
    EXPECT_FALSE(mergeInto(dir, qvfixture::textForm({"Naam"}), data, "{Stad}", &error));
    EXPECT_EQ(error.message, QVFormat(QVText("Onbekende CSV-kolom in bestandsnaam: '%@'."), {"Stad"}));
}

TEST(HostileData, TenThousandPlaceholdersExpandInBoundedTime) {
    std::string many;
    for (int i = 0; i < 10000; ++i) many += "{c" + std::to_string(i * 7) + "}";
    // Against a wide header, where each placeholder must find its column among 100,000.
    std::vector<std::string> names;
    for (int i = 0; i < 100000; ++i) names.push_back("c" + std::to_string(i));
    std::vector<std::string_view> columns(names.begin(), names.end());
    std::vector<std::string_view> values(columns.size(), "ab");
    Stopwatch watch;
    QVError error;
    std::optional<std::string> text = QVExpandPattern(many, columns, values, 1, 1, &error);
    ASSERT_TRUE(text) << error.message;
    EXPECT_EQ(text->size(), 20000u);
    EXPECT_FALSE(QVFilename(many, columns, values, 1, &error));
    EXPECT_EQ(error.message, QVFormat(QVText("Bestandsnaam voor record %lu is te lang."), {1ul}));

    std::string numbers;
    for (int i = 0; i < 10000; ++i) numbers += "{#}";
    EXPECT_EQ(QVExpandPattern(numbers, columns, values, 7, 1, &error)->size(), 60000u);
    // An unclosed brace after all of them is still found.
    EXPECT_FALSE(QVExpandPattern(numbers + "{", columns, values, 7, 1, &error));
    EXPECT_EQ(error.message, QVText("Een accolade in het watermerkpatroon is niet afgesloten."));
    EXPECT_LT(watch.seconds(), 10);
}

}  // namespace
