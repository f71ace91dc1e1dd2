// `quorvel merge` run as a program: real merges, the exit statuses, the dry run and the log.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "support/DutchHome.h"
#include "support/FormFixtures.h"
#include "support/TestSupport.h"

using qvtest::CommandResult;
using qvtest::ScopedEnv;
using qvtest::TempDir;
namespace fs = std::filesystem;

namespace {

class CliMerge : public qvtest::DutchHomeTest {
protected:
    fs::path out_ = dir_ / "uit";
    std::string form_ = file("formulier.pdf", qvfixture::textForm({"Naam", "Plaats"}));
    std::string data_ = file("klanten.csv", "Naam,Plaats\nAnna Jansen,Utrecht\nBram Visser,Gouda\nCees Smit,Zwolle\n");

    void SetUp() override { fs::create_directories(out_); }

    std::string file(const std::string& name, const std::string& bytes) {
        qvtest::writeFile(dir_ / name, bytes);
        return (dir_ / name).string();
    }
    CommandResult quorvel(std::vector<std::string> arguments) { return qvtest::runQuorvel(std::move(arguments)); }
    // merge with the three required options first.
    CommandResult merge(std::vector<std::string> more = {}) {
        std::vector<std::string> arguments = {"merge", "--template", form_, "--data", data_, "--output", out_.string()};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return quorvel(arguments);
    }
    std::vector<std::string> written() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(out_)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static std::string pdfText(const fs::path& pdf) {
        return qvtest::runCommand({"pdftotext", pdf.string(), "-"}).output;
    }
};

}  // namespace

TEST_F(CliMerge, MergesEachRecordIntoItsOwnFile) {
    CommandResult result = merge({"--pattern", "Brief-{Naam}"});
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(result.output, "3 PDF-bestanden gemaakt.\n");
    EXPECT_EQ(result.errors, "") << "no progress bar when standard error is not a terminal";
    EXPECT_EQ(written(),
              (std::vector<std::string>{"Brief-Anna Jansen.pdf", "Brief-Bram Visser.pdf", "Brief-Cees Smit.pdf"}));
    const std::string text = pdfText(out_ / "Brief-Bram Visser.pdf");
    EXPECT_NE(text.find("Bram Visser"), std::string::npos) << text;
    EXPECT_NE(text.find("Gouda"), std::string::npos) << text;
}

TEST_F(CliMerge, MapEntriesOverrideTheColumnOfTheFieldsOwnName) {
    data_ = file("klanten.csv", "Klantnaam;Plaats;Woonplaats\nAnna;Utrecht;Amersfoort\n");
    CommandResult unmapped = merge({"--separator", "semicolon"});
    EXPECT_EQ(unmapped.status, 1);
    EXPECT_EQ(unmapped.errors,
              "CSV-kolom ontbreekt voor PDF-veld 'Naam'.\n"
              "Kolommen in het gegevensbestand: Klantnaam, Plaats, Woonplaats\n"
              "Koppel het veld aan een kolom met --map 'Naam=KOLOM'.\n"
              "0 PDF-bestanden zijn al gemaakt.\n");

    CommandResult mapped = merge({"--separator", "semicolon", "--map", "Naam=Klantnaam", "--map", "Plaats=Woonplaats"});
    EXPECT_EQ(mapped.status, 0) << mapped.errors;
    const std::string text = pdfText(out_ / "merge-000001.pdf");
    EXPECT_NE(text.find("Anna"), std::string::npos) << text;
    EXPECT_NE(text.find("Amersfoort"), std::string::npos) << text;
    EXPECT_EQ(text.find("Utrecht"), std::string::npos) << "Plaats reads Woonplaats, not its own column";
}

TEST_F(CliMerge, CombinedOutputWithAWatermark) {
    CommandResult result = merge({"--mode", "combined", "--watermark-pattern", "Kopie voor {Naam}",
                                  "--watermark-position", "top", "--watermark-size", "14"});
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(result.output, "1 PDF-bestand gemaakt.\n");
    ASSERT_EQ(written(), std::vector<std::string>{"merge-gecombineerd.pdf"});
    const std::string text = pdfText(out_ / "merge-gecombineerd.pdf");
    EXPECT_NE(text.find("Kopie voor Cees Smit"), std::string::npos) << text;
}

TEST_F(CliMerge, UsageErrorsExitWithTwoAndTouchNothing) {
    const std::vector<std::vector<std::string>> cases = {
        {"merge", "--data", data_, "--output", out_.string()},  // no template
        {"merge", "--template", form_, "--data", data_, "--output", out_.string(), "--mode", "los"},
        {"merge", "--template", form_, "--data", data_, "--output", out_.string(), "--separator", "pipe"},
        {"merge", "--template", form_, "--data", data_, "--output", out_.string(), "--map", "Naam"},
        {"merge", "--template", form_, "--data", data_, "--output", out_.string(), "--map", "=Naam"},
        {"merge", "--template", form_, "--data", data_, "--output", out_.string(), "--map", "Adres=Naam"},
        {"merge", "--template", form_, "--data", data_, "--output", out_.string(), "--map", "Naam=Plaats", "--map",
         "Naam=Naam"},
        {"merge", "--template", form_, "--data", data_, "--output", out_.string(), "--watermark-column", "Naam",
         "--watermark-pattern", ""},
        {"merge", "--template", form_, "--data", data_, "--output", out_.string(), "--watermark-size", "groot"},
        {"samenvoegen"},
        {},
    };
    for (const auto& arguments : cases) {
        CommandResult result = quorvel(arguments);
        std::string shown;
        for (const auto& a : arguments) shown += a + " ";
        EXPECT_EQ(result.status, 2) << shown << "\n" << result.errors;
        EXPECT_NE(result.errors, "") << shown;
    }
    EXPECT_TRUE(written().empty());
    EXPECT_EQ(quorvel({"merge", "--template", form_, "--data", data_, "--output", out_.string(), "--map", "Adres=Naam"})
                  .errors,
              "Het PDF-formulier heeft geen veld 'Adres'.\n");
}

TEST_F(CliMerge, AFailedMergeExitsWithOneAndSaysHowManyFilesExist) {
    qvtest::writeFile(out_ / "merge-000003.pdf", "van eerder");
    CommandResult result = merge();
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.errors, "Uitvoerbestand bestaat al: merge-000003.pdf\n0 PDF-bestanden zijn al gemaakt.\n");
    EXPECT_EQ(written(), std::vector<std::string>{"merge-000003.pdf"});

    CommandResult missing =
        quorvel({"merge", "--template", form_, "--data", (dir_ / "weg.csv").string(), "--output", out_.string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.errors.rfind("CSV lezen mislukt: ", 0), 0u) << missing.errors;
}

TEST_F(CliMerge, ADryRunChecksEverythingAndWritesNothing) {
    CommandResult passes = merge({"--dry-run", "--log"});
    EXPECT_EQ(passes.status, 0) << passes.errors;
    EXPECT_EQ(passes.output, "Controle geslaagd: 3 PDF-bestanden zouden worden gemaakt. Er is niets geschreven.\n");
    EXPECT_TRUE(written().empty()) << "no PDF and no log";

    // The checks of the first pass: a duplicate name, a file already there, a missing folder.
    CommandResult duplicate = merge({"--dry-run", "--pattern", "brief"});
    EXPECT_EQ(duplicate.status, 1);
    EXPECT_EQ(duplicate.errors,
              "Dubbele bestandsnaam 'brief.pdf' bij record 2. Voeg bijvoorbeeld {#} toe.\n"
              "0 PDF-bestanden zijn al gemaakt.\n");
    qvtest::writeFile(out_ / "merge-000002.pdf", "");
    CommandResult exists = merge({"--dry-run"});
    EXPECT_EQ(exists.status, 1);
    EXPECT_NE(exists.errors.find("Uitvoerbestand bestaat al: merge-000002.pdf"), std::string::npos);
    CommandResult combined = merge({"--dry-run", "--mode", "combined"});
    EXPECT_EQ(combined.status, 0) << combined.errors;
    EXPECT_EQ(combined.output, "Controle geslaagd: 1 PDF-bestand zou worden gemaakt. Er is niets geschreven.\n");
    // A folder the run would make passes the check, and is not made by it.
    CommandResult newFolder =
        quorvel({"merge", "--template", form_, "--data", data_, "--output", (dir_ / "nergens").string(), "--dry-run"});
    EXPECT_EQ(newFolder.status, 0) << newFolder.errors;
    EXPECT_FALSE(fs::exists(dir_ / "nergens"));
    // One the run could not make fails as the run would.
    const fs::path deep = dir_ / "nergens" / "diep";
    CommandResult noFolder =
        quorvel({"merge", "--template", form_, "--data", data_, "--output", deep.string(), "--dry-run"});
    EXPECT_EQ(noFolder.status, 1);
    EXPECT_EQ(noFolder.errors.rfind("De uitvoermap '" + deep.string() + "' aanmaken mislukt: ", 0), 0u)
        << noFolder.errors;
    EXPECT_EQ(quorvel({"merge", "--template", form_, "--data", data_, "--output", deep.string()}).errors,
              noFolder.errors);
    EXPECT_FALSE(fs::exists(dir_ / "nergens"));
    EXPECT_EQ(written(), std::vector<std::string>{"merge-000002.pdf"});
}

TEST_F(CliMerge, TheLogIsWrittenInTheOutputFolderAndItsPathPrinted) {
    CommandResult result = merge({"--log", "--separator", "comma"});
    EXPECT_EQ(result.status, 0) << result.errors;
    std::smatch match;
    const std::regex expected(
        "3 PDF-bestanden gemaakt\\.\nLogboeklocatie: (.*/quorvel-log-[0-9A-F]{8}-[0-9A-F]{4}-"
        "[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.json)\n");
    ASSERT_TRUE(std::regex_match(result.output, match, expected)) << result.output;
    const fs::path log = match[1].str();
    EXPECT_TRUE(fs::equivalent(log.parent_path(), out_));
    nlohmann::json json = nlohmann::json::parse(qvtest::readFile(log));
    EXPECT_EQ(json["status"], "success");
    EXPECT_EQ(json["input_pdf"], form_) << "the paths are recorded in full";
    EXPECT_EQ(json["output_files"].size(), 3u);

    // A failed merge still names its log, on standard error.
    CommandResult failed = merge({"--log"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.errors.find("Uitvoerbestand bestaat al: merge-000001.pdf\n0 PDF-bestanden zijn al gemaakt.\n"
                                 "Logboeklocatie: "),
              std::string::npos)
        << failed.errors;
}

TEST_F(CliMerge, HelpDocumentsEveryOptionWithAnExample) {
    CommandResult help = quorvel({"merge", "--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--template", "--data", "--output", "--mode", "--pattern", "--separator", "--map",
                               "--watermark-column", "--watermark-pattern", "--watermark-position", "--watermark-size",
                               "--watermark-gray", "--log", "--dry-run", "--quiet"}) {
        EXPECT_NE(help.output.find(option), std::string::npos) << option;
    }
    EXPECT_NE(help.output.find("Voorbeeld:\n  quorvel merge --template factuur.pdf"), std::string::npos) << help.output;
}

TEST_F(CliMerge, AWatermarkWithoutAnyUsableFontIsRefusedBeforeAnyFile) {
    // A font configuration that knows no font at all: the watermark cannot be measured or
    // drawn, so the merge must stop before the first file rather than skip the watermark.
    const std::string config = file("leeg.conf", "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n");
    ScopedEnv fonts{"FONTCONFIG_FILE", config};
    CommandResult result = merge({"--watermark-column", "Naam"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.errors,
              "Het lettertype voor het watermerk is niet beschikbaar.\n0 PDF-bestanden zijn al gemaakt.\n");
    EXPECT_TRUE(written().empty());
}

TEST_F(CliMerge, CountsTakeTheGrammaticalNumberOfTheLanguageAndQuietSaysNothing) {
    data_ = file("een.csv", "Naam,Plaats\nAnna Jansen,Utrecht\n");
    CommandResult one = merge({"--pattern", "een-{#}"});
    EXPECT_EQ(one.output, "1 PDF-bestand gemaakt.\n");
    CommandResult quiet = merge({"--pattern", "stil-{#}", "--quiet"});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.output, "");
    EXPECT_EQ(quiet.errors, "");

    // French counts nought as one.
    ScopedEnv french("LANGUAGE", "fr");
    CommandResult again = merge({"--pattern", "een-{#}"});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.errors,
              "Le fichier de sortie existe déjà\u00A0: een-000001.pdf\n0 fichier PDF avait déjà été créé.\n");
}

TEST_F(CliMerge, OutOfRangeNumbersAndAnEmptyFolderAreUsageErrorsThatSayWhy) {
    CommandResult size = merge({"--watermark-size", "50"});
    EXPECT_EQ(size.status, 2);
    EXPECT_NE(size.errors.find("Een getal van 8 tot 48 (punten), bijvoorbeeld 14."), std::string::npos) << size.errors;
    CommandResult gray = merge({"--watermark-column", "Naam", "--watermark-gray", "-0.1"});
    EXPECT_EQ(gray.status, 2);
    EXPECT_NE(gray.errors.find("Een getal van 0 (zwart) tot 1 (wit)"), std::string::npos) << gray.errors;
    CommandResult empty = quorvel({"merge", "--template", form_, "--data", data_, "--output", ""});
    EXPECT_EQ(empty.status, 2);
    EXPECT_NE(empty.errors.find("Geef een map op; een lege naam is geen map."), std::string::npos) << empty.errors;
    EXPECT_TRUE(written().empty());
    EXPECT_EQ(merge({"--watermark-size", "8", "--watermark-gray", "1"}).status, 0) << "the ends are allowed";
}

TEST_F(CliMerge, ALogThatCouldNotBeCreatedHasNoLocation) {
    // A folder that cannot be made: neither the log nor any PDF is created.
    CommandResult r =
        quorvel({"merge", "--template", form_, "--data", data_, "--output", (dir_ / "weg" / "diep").string(), "--log"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.errors.find("Logboeklocatie"), std::string::npos) << r.errors;
}

TEST_F(CliMerge, AMissingOutputFolderIsMadeButNotItsParentsAndNotThroughADanglingLink) {
    const fs::path fresh = dir_ / "nieuw";
    CommandResult made = quorvel({"merge", "--template", form_, "--data", data_, "--output", fresh.string()});
    EXPECT_EQ(made.status, 0) << made.errors;
    EXPECT_TRUE(fs::exists(fresh / "merge-000003.pdf"));

    // A merge that fails before its first file leaves no folder it made behind.
    const fs::path failed = dir_ / "mislukt";
    CommandResult refused =
        quorvel({"merge", "--template", form_, "--data", data_, "--output", failed.string(), "--pattern", "zelfde"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_FALSE(fs::exists(failed));

    // A link to nothing is not followed to make its target.
    fs::create_symlink(dir_ / "doel", dir_ / "link");
    CommandResult dangling =
        quorvel({"merge", "--template", form_, "--data", data_, "--output", (dir_ / "link").string()});
    EXPECT_EQ(dangling.status, 1);
    EXPECT_NE(dangling.errors.find("is een verwijzing naar iets dat niet bestaat."), std::string::npos)
        << dangling.errors;
    EXPECT_FALSE(fs::exists(dir_ / "doel"));
}

TEST_F(CliMerge, AMissingColumnNamesTheColumnsAndTheClosestOne) {
    data_ = file("klanten.csv", "naam,Plaatsnaam\nAnna,Utrecht\n");
    CommandResult close = merge();
    EXPECT_EQ(close.status, 1);
    EXPECT_EQ(close.errors,
              "CSV-kolom ontbreekt voor PDF-veld 'Naam'.\n"
              "Kolommen in het gegevensbestand: naam, Plaatsnaam\n"
              "Bedoel je 'naam'? Koppel het veld met --map 'Naam=naam'.\n"
              "0 PDF-bestanden zijn al gemaakt.\n");

    // A column that --map names and the data lacks is named itself, in the dry run too.
    CommandResult mapped = merge({"--map", "Naam=naam", "--map", "Plaats=Plaatsnam", "--dry-run"});
    EXPECT_EQ(mapped.status, 1);
    EXPECT_EQ(mapped.errors,
              "CSV-kolom ontbreekt voor PDF-veld 'Plaats'.\n"
              "De kolom 'Plaatsnam' uit --map staat niet in het gegevensbestand.\n"
              "Kolommen in het gegevensbestand: naam, Plaatsnaam\n"
              "Bedoel je 'Plaatsnaam'? Koppel het veld met --map 'Plaats=Plaatsnaam'.\n"
              "0 PDF-bestanden zijn al gemaakt.\n");
    EXPECT_EQ(merge({"--map", "Naam=naam", "--map", "Plaats=Plaatsnaam"}).status, 0);
}

TEST_F(CliMerge, AMistypedCommandOrOptionSuggestsTheNameMeant) {
    CommandResult option = merge({"--seperator", "semicolon"});
    EXPECT_EQ(option.status, 2);
    EXPECT_NE(option.errors.find("\nBedoelde je --separator?\n"), std::string::npos) << option.errors;
    CommandResult command = quorvel({"merg"});
    EXPECT_EQ(command.status, 2);
    EXPECT_NE(command.errors.find("Bedoelde je merge?"), std::string::npos) << command.errors;
    // Nothing close: no guess.
    CommandResult far = merge({"--kleur", "rood"});
    EXPECT_EQ(far.status, 2);
    EXPECT_EQ(far.errors.find("Bedoelde je"), std::string::npos) << far.errors;
    EXPECT_TRUE(written().empty());
}

TEST_F(CliMerge, AValueTooLongSaysItsLengthAndTheFieldsLimit) {
    qvfixture::FormBuilder builder;
    const int page = builder.addPage();
    builder.addWidget(page, builder.addField({std::string("Code"), "/Tx", 0, 4}));
    form_ = file("code.pdf", builder.build());
    // Four units pass; "𝄞" alone counts two, so the second record has five.
    data_ = file("codes.csv",
                 "Code\nAB12\n\xF0\x9D\x84\x9E"
                 "ABC\n");
    CommandResult r = merge();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.errors,
              "Waarde voor 'Code' in record 3 is te lang.\n"
              "De waarde heeft 5 tekens; het veld neemt er hoogstens 4.\n"
              "0 PDF-bestanden zijn al gemaakt.\n");
}

TEST_F(CliMerge, ABadFileNameShowsTheNameThePatternMade) {
    data_ = file("klanten.csv", "Naam,Plaats\nAnna Jansen,Utrecht\nBram/Visser,Gouda\n");
    for (bool dry : {true, false}) {
        std::vector<std::string> more{"--pattern", "{Naam}"};
        if (dry) more.push_back("--dry-run");
        CommandResult r = merge(more);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.errors,
                  "Ongeldige bestandsnaam voor record 2. Gebruik geen /, \\, :, controletekens, beginpunt of "
                  "spaties aan het begin of einde.\n"
                  "Het patroon maakt er 'Bram/Visser' van.\n"
                  "0 PDF-bestanden zijn al gemaakt.\n");
    }
    // A value that would take over the terminal is shown escaped.
    data_ = file("klanten.csv", "Naam,Plaats\n\"Anna\x1b]0;x\x07\n\",Utrecht\n");
    CommandResult r = merge({"--pattern", "{Naam}"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.errors.find('\x1b'), std::string::npos) << r.errors;
    EXPECT_NE(r.errors.find("Het patroon maakt er 'Anna"), std::string::npos) << r.errors;
    EXPECT_TRUE(written().empty());
}

TEST_F(CliMerge, ARefusedTemplateSaysWhy) {
    struct Case {
        std::string bytes, why;
    };
    const std::string valid = qvfixture::textForm({"Naam", "Plaats"});
    const std::vector<Case> cases{
        {"Naam,Plaats\n", "Het bestand is geen PDF: het begint niet met %PDF-."},
        {"%PDF-1.4\n1 0 obj\n<<>>\nendobj\ntrailer<</Root 1 0 R>>\n%%EOF\n", "De PDF heeft geen pagina's."},
        {valid.substr(0, 40), "De PDF is beschadigd en kon niet worden gelezen."},
    };
    for (const Case& c : cases) {
        form_ = file("sjabloon.pdf", c.bytes);
        for (std::vector<std::string> more : {std::vector<std::string>{}, {"--all-fields"}}) {
            CommandResult r = merge(more);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.errors,
                      "De PDF is ongeldig, leeg of beveiligd.\n" + c.why + "\n0 PDF-bestanden zijn al gemaakt.\n")
                << c.why;
        }
    }
    EXPECT_TRUE(written().empty());
}

TEST_F(CliMerge, AWindows1252FileSaysWhereAndIsReadWithEncoding) {
    // As a spreadsheet on Windows saves it: é, ü and € as single bytes, CR LF line ends.
    data_ = file("klanten.csv", "Naam,Plaats\r\nJos\xE9,M\xFCnchen \x80\r\nAnna,Utrecht\r\n");
    CommandResult refused = merge();
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(
        refused.errors,
        "CSV lezen mislukt: Het bestand 'klanten.csv' is geen geldige UTF-8-tekst (ongeldige byte op positie 16).\n"
        "De ongeldige byte staat op regel 2, teken 4.\n"
        "Misschien is het bestand in Windows-1252 opgeslagen. Sla het op als UTF-8 (in een rekenblad: \"CSV "
        "UTF-8\") of lees het met --encoding windows-1252.\n"
        "0 PDF-bestanden zijn al gemaakt.\n");
    EXPECT_TRUE(written().empty());

    CommandResult read = merge({"--encoding", "windows-1252", "--pattern", "{Naam}"});
    ASSERT_EQ(read.status, 0) << read.errors;
    EXPECT_EQ(written(), (std::vector<std::string>{"Anna.pdf", "Jos\xC3\xA9.pdf"}));
    EXPECT_NE(pdfText(out_ / "Jos\xC3\xA9.pdf").find("M\xC3\xBCnchen \xE2\x82\xAC"), std::string::npos);
    EXPECT_EQ(merge({"--encoding", "latin-9"}).status, 2);
}

TEST_F(CliMerge, AMappingFileMapsFieldsBesideMap) {
    data_ = file("klanten.csv", "Klantnaam,Woonplaats,Stad\nAnna,Utrecht,Gouda\n");
    // Lines FIELD=COLUMN, with comments; a --map entry for the same field wins over the file's.
    const std::string lines = file("koppeling.txt", "# velden\nNaam=Klantnaam\n\nPlaats = Woonplaats\n");
    CommandResult fromLines = merge({"--map-file", lines, "--map", "Plaats=Stad", "--pattern", "a"});
    ASSERT_EQ(fromLines.status, 0) << fromLines.errors;
    EXPECT_NE(pdfText(out_ / "a.pdf").find("Gouda"), std::string::npos);
    // A two-column CSV with a header row.
    const std::string csv = file("koppeling.csv", "veld;kolom\nNaam;Klantnaam\nPlaats;Woonplaats\n");
    CommandResult fromCsv = merge({"--map-file", csv, "--pattern", "b"});
    ASSERT_EQ(fromCsv.status, 0) << fromCsv.errors;
    const std::string text = pdfText(out_ / "b.pdf");
    EXPECT_NE(text.find("Anna"), std::string::npos);
    EXPECT_NE(text.find("Utrecht"), std::string::npos);

    CommandResult bad = merge({"--map-file", file("fout.txt", "Naam=Klantnaam\nPlaats\n")});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.errors, "Regel 2 van het koppelingsbestand 'fout.txt' is geen VELD=KOLOM.\n");
    CommandResult unknown = merge({"--map-file", file("onbekend.txt", "Nam=Klantnaam\n")});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.errors, "Het PDF-formulier heeft geen veld 'Nam'.\n");
    EXPECT_EQ(merge({"--map-file", (dir_ / "weg.txt").string()}).status, 2);
    EXPECT_EQ(written(), (std::vector<std::string>{"a.pdf", "b.pdf"}));
}

TEST_F(CliMerge, TheDryRunFindsAFolderThatTakesNoNewFiles) {
    // sysfs takes no new files, not even from root, which the tests may run as.
    const fs::path folder = "/sys/kernel";
    if (!fs::is_directory(folder)) GTEST_SKIP() << "no /sys";
    CommandResult run = quorvel({"merge", "--template", form_, "--data", data_, "--output", folder.string()});
    CommandResult dry =
        quorvel({"merge", "--template", form_, "--data", data_, "--output", folder.string(), "--dry-run"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(dry.status, 1);
    EXPECT_EQ(dry.errors, run.errors);
    EXPECT_EQ(dry.errors.rfind("Bestand 'merge-000001.pdf' aanmaken mislukt: ", 0), 0u) << dry.errors;
}
