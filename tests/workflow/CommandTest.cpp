#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "WorkflowFixture.h"
#include "workflow/Command.h"

using nlohmann::json;
using namespace qvtest;

namespace {

constexpr const char* kWarning =
    "Met de gekozen instelling is één kolom gevonden, maar een ander scheidingsteken levert meerdere kolommen op. "
    "Controleer het bestand: één kolom kan ook juist zijn.";

struct CommandRun {
    std::vector<json> lines;
    std::vector<EngineCall> calls;
};

// Runs the command once against `script` (with the engine answering as told) and checks that
// every answer was used as meant.
CommandRun runScript(const json& script, RecordingEngine& engine) {
    ScriptedDialogs dialogs(script.dump());
    QVCommand(nullptr);
    dialogs.expectScriptUsedUp();
    return {dialogs.lines(), engine.calls()};
}

json reportAnswer() { return json::object(); }

}  // namespace

TEST(MergeCommand, CompleteRunShowsEveryDialogAndHandsEverythingToTheEngine) {
    WorkflowFiles files;
    RecordingEngine engine;
    engine.answer(true, 2);
    json script = completeRun(files);
    script.push_back(reportAnswer());
    CommandRun run = runScript(script, engine);

    ASSERT_EQ(run.lines.size(), 11u);
    const auto& l = run.lines;
    EXPECT_EQ(l[0]["kind"], "open-panel");
    EXPECT_EQ(l[0]["title"], "Kies een PDF-formulier");
    EXPECT_EQ(l[0]["files"], true);
    EXPECT_EQ(l[0]["folders"], false);
    EXPECT_EQ(l[0]["extensions"], json({"pdf"}));
    EXPECT_EQ(l[1]["title"], "Kies een UTF-8 CSV- of tekstbestand");
    EXPECT_EQ(l[1]["extensions"], json({"csv", "tsv", "txt"}));

    EXPECT_EQ(l[2]["message"], "Kies het scheidingsteken");
    EXPECT_EQ(l[2]["informative"], "Kies het teken dat de kolommen in je gegevensbestand scheidt.");
    EXPECT_EQ(l[2]["popups"][0]["items"], json({"Komma (,)", "Puntkomma (;)", "Tab"}));
    EXPECT_EQ(l[2]["popups"][0]["selected"], 0);
    EXPECT_EQ(l[2]["buttons"], json({"Verder", "Annuleren"}));
    EXPECT_EQ(l[2]["style"], "informational");

    EXPECT_EQ(l[3]["message"], "Controleer de ingelezen gegevens");
    EXPECT_EQ(l[3]["text"], "Record 1\nText Box 1: A1\nText Box 2: B1\n\nRecord 2\nText Box 1: A2\nText Box 2: B2\n\n");
    EXPECT_EQ(l[4]["message"], "Koppel PDF-velden aan CSV-kolommen");
    EXPECT_EQ(l[4]["labels"], json({"PDF-veld", "CSV-kolom", "Text Box 1", "Text Box 2"}));

    EXPECT_EQ(l[5]["message"], "Hoe wil je de PDF's opslaan?");
    EXPECT_EQ(l[5]["informative"],
              "De gecombineerde PDF maakt alle annotaties en formuliervelden definitief en niet meer bewerkbaar.");
    EXPECT_EQ(l[5]["buttons"], json({"Losse PDF's", "Eén PDF", "Annuleren"}));

    EXPECT_EQ(l[6]["message"], "Kies het patroon voor bestandsnamen");
    EXPECT_EQ(l[6]["informative"],
              "Gebruik {#} voor het volgnummer of een CSV-kolom tussen accolades, bijvoorbeeld Factuur-{Klant}-{#}. "
              "De extensie .pdf wordt automatisch toegevoegd.");
    EXPECT_EQ(l[6]["fields"], json::array({{{"shown", "merge-{#}"}, {"chosen", "Brief-{#}"}}}));
    EXPECT_EQ(l[6]["buttons"], json({"Verder", "Annuleren"}));

    EXPECT_EQ(l[7]["message"], "Optioneel watermerk");
    EXPECT_EQ(l[7]["informative"],
              "Kies een CSV-kolom of eigen tekst voor onderaan elke pagina. Bij losse PDF's "
              "blijft dit een verwijderbare annotatie.");
    EXPECT_EQ(l[7]["popups"][0]["items"], json({"Geen watermerk", "Text Box 1", "Text Box 2", "Eigen tekst..."}));
    EXPECT_EQ(l[7]["popups"][0]["selected"], 0);

    EXPECT_EQ(l[8]["message"], "Verwerkingslogboek bewaren?");
    EXPECT_EQ(l[8]["informative"],
              "Het logboek bevat bestandspaden, uitvoernamen, instellingen en eventuele "
              "foutmeldingen. Deze kunnen persoonlijke gegevens bevatten.");
    EXPECT_EQ(l[8]["buttons"], json({"Zonder logboek", "Met logboek", "Annuleren"}));

    EXPECT_EQ(l[9]["title"], "Kies een uitvoermap");
    EXPECT_EQ(l[9]["files"], false);
    EXPECT_EQ(l[9]["folders"], true);
    EXPECT_EQ(l[9]["extensions"], json::array());

    EXPECT_EQ(l[10]["message"], "Samenvoegen voltooid");
    EXPECT_EQ(l[10]["informative"], "2 PDF-bestanden gemaakt.");
    EXPECT_EQ(l[10]["buttons"].size(), 1u);

    ASSERT_EQ(run.calls.size(), 1u);
    const EngineCall& call = run.calls[0];
    EXPECT_FALSE(call.logged);
    EXPECT_EQ(call.templateBytes, readFile(files.form));
    EXPECT_EQ(call.dataText, readFile(files.csv));
    EXPECT_EQ(call.outputFolder, files.out);
    EXPECT_EQ(call.mode, QVOutputModeSeparate);
    EXPECT_EQ(call.pattern, "Brief-{#}");
    EXPECT_EQ(call.separator, u',');
    EXPECT_EQ(call.mapping, (QVFieldMapping{{"Text Box 1", "Text Box 1"}, {"Text Box 2", "Text Box 2"}}));
    EXPECT_FALSE(call.watermarkColumn);
    EXPECT_FALSE(call.watermarkPattern);
    EXPECT_EQ(call.style.position, 0u);
    EXPECT_EQ(call.style.fontSize, 11.0);
    EXPECT_EQ(call.style.gray, 0.35);
}

TEST(MergeCommand, LeavingAnyDialogEndsTheRunSilently) {
    WorkflowFiles files;
    RecordingEngine engine;
    json full = completeRun(files);
    // With a custom watermark text the run has two more dialogs: the text and the style.
    json custom = full;
    custom[7] = {{"button", "Verder"}, {"popups", {3}}};
    custom.insert(custom.begin() + 8, json{{"button", "Verder"}});
    custom.insert(custom.begin() + 9, json{{"button", "Verder"}});

    for (const json* path : {&full, &custom}) {
        for (size_t stop = 0; stop < path->size(); ++stop) {
            SCOPED_TRACE(stop);
            json script(path->begin(), path->begin() + static_cast<long>(stop));
            // Alternately the cancel answer and the "Annuleren" button where there is one.
            bool panel = (*path)[stop].contains("path");
            script.push_back(panel || stop % 2 ? json{{"cancel", true}} : json{{"button", "Annuleren"}});
            CommandRun run = runScript(script, engine);
            EXPECT_EQ(run.lines.size(), stop + 1);  // nothing after the dialog that was left
            EXPECT_TRUE(run.calls.empty());
        }
    }
}

TEST(MergeCommand, WrongSeparatorWarningShowsTheSameDialogAgain) {
    WorkflowFiles files("Text Box 1;Text Box 2\nA1;B1\n");
    RecordingEngine engine;
    json script = completeRun(files);
    script[2] = {{"button", "Verder"}};  // comma: one column, while the semicolon gives two
    script.insert(script.begin() + 3, json{{"button", "Ander scheidingsteken"}});
    script.insert(script.begin() + 4, json{{"button", "Verder"}, {"popups", {1}}});
    script.push_back(reportAnswer());
    CommandRun run = runScript(script, engine);

    const auto& l = run.lines;
    EXPECT_EQ(l[3]["message"], "Mogelijk verkeerd scheidingsteken");
    EXPECT_EQ(l[3]["informative"], kWarning);
    EXPECT_EQ(l[3]["style"], "warning");
    EXPECT_EQ(l[3]["buttons"], json({"Ander scheidingsteken", "Toch doorgaan", "Annuleren"}));
    EXPECT_EQ(l[4]["message"], "Kies het scheidingsteken");
    EXPECT_EQ(l[4]["popups"][0]["selected"], 0);                     // the comma chosen last is still selected
    EXPECT_EQ(l[5]["message"], "Controleer de ingelezen gegevens");  // no second warning
    ASSERT_EQ(run.calls.size(), 1u);
    EXPECT_EQ(run.calls[0].separator, u';');

    // Chosen last is kept across showings: semicolon, then back to the dialog once more.
    WorkflowFiles broken("a;b\nc;d;e\n");
    json again = json::array({{{"path", broken.form.string()}},
                              {{"path", broken.csv.string()}},
                              {{"popups", {1}}},
                              {{"button", "Ander scheidingsteken"}},
                              {{"cancel", true}}});
    CommandRun second = runScript(again, engine);
    ASSERT_EQ(second.lines.size(), 5u);
    EXPECT_EQ(second.lines[3]["message"], "Gegevens inlezen mislukt");
    EXPECT_EQ(second.lines[4]["popups"][0]["selected"], 1);
}

TEST(MergeCommand, TochDoorgaanKeepsTheSingleColumn) {
    WorkflowFiles files("Text Box 1;Text Box 2\nA1;B1\n");
    RecordingEngine engine;
    json script = json::array({{{"path", files.form.string()}},
                               {{"path", files.csv.string()}},
                               json::object(),
                               {{"button", "Toch doorgaan"}},
                               {{"button", "Verder"}},
                               {{"button", "Annuleren"}}});
    CommandRun run = runScript(script, engine);
    ASSERT_EQ(run.lines.size(), 6u);
    EXPECT_EQ(run.lines[4]["text"], "Record 1\nText Box 1;Text Box 2: A1;B1\n\n");
    EXPECT_EQ(run.lines[5]["popups"][0]["items"], json({"Kies een kolom...", "Text Box 1;Text Box 2"}));
}

TEST(MergeCommand, OneRealColumnPassesWithoutWarning) {
    WorkflowFiles files("Naam\nJansen\nde Vries\n");
    RecordingEngine engine;
    json script = json::array(
        {{{"path", files.form.string()}}, {{"path", files.csv.string()}}, json::object(), {{"cancel", true}}});
    CommandRun run = runScript(script, engine);
    EXPECT_EQ(run.lines[3]["message"], "Controleer de ingelezen gegevens");
}

TEST(MergeCommand, ParseFailureOffersAnotherSeparatorOrEnds) {
    // Two columns in the header but three in the record with the comma; one column throughout
    // with the semicolon, which no other separator widens.
    WorkflowFiles files("Text Box 1,Text Box 2\nA1,B1,C1\n");
    RecordingEngine engine;
    json retry = json::array({{{"path", files.form.string()}},
                              {{"path", files.csv.string()}},
                              json::object(),
                              {{"button", "Ander scheidingsteken"}},
                              {{"popups", {1}}},
                              {{"cancel", true}}});
    CommandRun run = runScript(retry, engine);
    ASSERT_EQ(run.lines.size(), 6u);
    EXPECT_EQ(run.lines[3]["message"], "Gegevens inlezen mislukt");
    EXPECT_FALSE(run.lines[3]["informative"].get<std::string>().empty());
    EXPECT_EQ(run.lines[3]["buttons"], json({"Ander scheidingsteken", "Annuleren"}));
    EXPECT_EQ(run.lines[4]["message"], "Kies het scheidingsteken");
    EXPECT_EQ(run.lines[5]["message"], "Controleer de ingelezen gegevens");

    json stop = json::array(
        {{{"path", files.form.string()}}, {{"path", files.csv.string()}}, json::object(), {{"button", "Annuleren"}}});
    EXPECT_EQ(runScript(stop, engine).lines.size(), 4u);
}

TEST(MergeCommand, InvalidSelectionsAreReportedAndEndTheRun) {
    WorkflowFiles files;
    RecordingEngine engine;
    json separator = json::array(
        {{{"path", files.form.string()}}, {{"path", files.csv.string()}}, {{"popups", {-1}}}, json::object()});
    CommandRun run = runScript(separator, engine);
    ASSERT_EQ(run.lines.size(), 4u);
    EXPECT_EQ(run.lines[3]["message"], "Ongeldig scheidingsteken.");
    EXPECT_EQ(run.lines[3]["informative"], "");
    EXPECT_EQ(run.lines[3]["buttons"].size(), 1u);

    json watermark = completeRun(files);
    watermark[7] = {{"popups", {-1}}};
    watermark.erase(watermark.begin() + 8, watermark.end());
    watermark.push_back(json::object());
    run = runScript(watermark, engine);
    ASSERT_EQ(run.lines.size(), 9u);
    EXPECT_EQ(run.lines[8]["message"], "De gekozen watermerkkolom bestaat niet.");
    EXPECT_EQ(run.lines[8]["buttons"].size(), 1u);
    EXPECT_TRUE(engine.calls().empty());
}

TEST(MergeCommand, UnreadableInputsAreReportedWhereTheyAreRead) {
    WorkflowFiles files("Text Box 1\n\xC3(\n");
    RecordingEngine engine;
    json data = json::array({{{"path", files.form.string()}}, {{"path", files.csv.string()}}, json::object()});
    CommandRun run = runScript(data, engine);
    ASSERT_EQ(run.lines.size(), 3u);  // before any separator question
    EXPECT_EQ(run.lines[2]["message"], "Samenvoegen mislukt");
    EXPECT_NE(run.lines[2]["informative"].get<std::string>().find("CSV lezen mislukt"), std::string::npos);

    WorkflowFiles broken;
    writeFile(broken.form, "%PDF-1.7\nnot really\n");
    json form = json::array({{{"path", broken.form.string()}},
                             {{"path", broken.csv.string()}},
                             json::object(),
                             json::object(),
                             json::object()});
    run = runScript(form, engine);
    ASSERT_EQ(run.lines.size(), 5u);  // after the preview
    EXPECT_EQ(run.lines[3]["message"], "Controleer de ingelezen gegevens");
    EXPECT_EQ(run.lines[4]["message"], "Samenvoegen mislukt");
    EXPECT_FALSE(run.lines[4]["informative"].get<std::string>().empty());
    EXPECT_TRUE(engine.calls().empty());
}

TEST(MergeCommand, OnePdfSkipsThePatternAndPassesTheDefault) {
    WorkflowFiles files;
    RecordingEngine engine;
    json script = completeRun(files);
    script[5] = {{"button", "Eén PDF"}};
    script.erase(script.begin() + 6);
    script.push_back(reportAnswer());
    CommandRun run = runScript(script, engine);
    EXPECT_EQ(run.lines[6]["message"], "Optioneel watermerk");
    ASSERT_EQ(run.calls.size(), 1u);
    EXPECT_EQ(run.calls[0].mode, QVOutputModeCombined);
    EXPECT_EQ(run.calls[0].pattern, "merge-{#}");
}

TEST(MergeCommand, WatermarkColumnOrCustomTextBringsTheStyleDialog) {
    WorkflowFiles files;
    RecordingEngine engine;

    json column = completeRun(files);
    column[7] = {{"popups", {2}}};
    column.insert(column.begin() + 8, json{{"popups", {2, 2, 2}}});
    column.push_back(reportAnswer());
    CommandRun run = runScript(column, engine);
    EXPECT_EQ(run.lines[8]["message"], "Watermerk vormgeven");
    ASSERT_EQ(run.calls.size(), 1u);
    EXPECT_EQ(run.calls[0].watermarkColumn, "Text Box 2");
    EXPECT_FALSE(run.calls[0].watermarkPattern);
    EXPECT_EQ(run.calls[0].style.position, 2u);
    EXPECT_EQ(run.calls[0].style.fontSize, 22.0);
    EXPECT_EQ(run.calls[0].style.gray, 0.75);

    json custom = completeRun(files);
    custom[7] = {{"popups", {3}}};
    custom.insert(custom.begin() + 8, json{{"fields", {""}}});
    custom.insert(custom.begin() + 9, json::object());
    custom.push_back(reportAnswer());
    run = runScript(custom, engine);
    EXPECT_EQ(run.lines[8]["message"], "Tekst voor watermerk");
    EXPECT_EQ(run.lines[8]["informative"],
              "Typ tekst en gebruik eventueel {Kolomnaam} voor CSV-waarden en {#} voor het volgnummer.");
    EXPECT_EQ(run.lines[8]["fields"][0]["shown"], "");
    EXPECT_EQ(run.lines[9]["message"], "Watermerk vormgeven");
    ASSERT_EQ(run.calls.size(), 2u);
    EXPECT_FALSE(run.calls[1].watermarkColumn);
    EXPECT_EQ(run.calls[1].watermarkPattern, std::optional<std::string>(""));  // empty, not absent
    EXPECT_EQ(run.calls[1].style.fontSize, 11.0);
}

TEST(MergeCommand, ReportCountsAndTheLogLocationLine) {
    WorkflowFiles files;
    RecordingEngine engine;
    const std::regex logName("quorvel-log-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.json");

    json logged = completeRun(files);
    logged[8] = {{"button", "Met logboek"}};
    logged.push_back(reportAnswer());
    engine.answer(true, 2);
    CommandRun run = runScript(logged, engine);
    ASSERT_EQ(run.calls.size(), 1u);
    const EngineCall call = run.calls[0];
    EXPECT_TRUE(call.logged);
    EXPECT_EQ(call.templateURL, files.form);
    EXPECT_EQ(call.dataURL, files.csv);
    EXPECT_EQ(call.templateBytes, readFile(files.form));
    EXPECT_EQ(call.logURL.parent_path(), files.out);
    EXPECT_TRUE(std::regex_match(call.logURL.filename().string(), logName)) << call.logURL;
    EXPECT_EQ(call.pattern, "Brief-{#}");
    EXPECT_EQ(run.lines.back()["message"], "Samenvoegen voltooid");
    EXPECT_EQ(run.lines.back()["informative"], "2 PDF-bestanden gemaakt.\nLogboeklocatie: " + call.logURL.string());

    engine.answer(false, 3, "Record 4: kapot.");
    run = runScript(logged, engine);
    ASSERT_EQ(run.calls.size(), 2u);
    EXPECT_NE(run.calls[1].logURL, call.logURL);  // a new name every run
    EXPECT_EQ(run.lines.back()["message"], "Samenvoegen mislukt");
    EXPECT_EQ(run.lines.back()["informative"],
              "Record 4: kapot.\n3 PDF-bestanden zijn al gemaakt.\nLogboeklocatie: " + run.calls[1].logURL.string());

    json plain = completeRun(files);
    plain.push_back(reportAnswer());
    run = runScript(plain, engine);
    EXPECT_EQ(run.lines.back()["informative"], "Record 4: kapot.\n3 PDF-bestanden zijn al gemaakt.");

    // A log that could not be created is not pointed to.
    engine.createLogFile(false);
    run = runScript(logged, engine);
    ASSERT_EQ(run.calls.size(), 4u);
    EXPECT_TRUE(run.calls[3].logged);
    EXPECT_FALSE(fs::exists(run.calls[3].logURL));
    EXPECT_EQ(run.lines.back()["informative"], "Record 4: kapot.\n3 PDF-bestanden zijn al gemaakt.");
}

TEST(MergeCommand, APatternTheDataCannotFillIsAskedForAgain) {
    WorkflowFiles files;
    RecordingEngine engine;
    json script = completeRun(files);
    script[6] = {{"button", "Verder"}, {"fields", {"Factuur-{Klant}-{#}"}}};
    json again = json::array({json::object(),  // the message
                              {{"button", "Verder"}, {"fields", {"Factuur-{Text Box 2"}}},
                              json::object(),
                              {{"button", "Verder"}, {"fields", {"Factuur-{Text Box 2}-{#}"}}}});
    script.insert(script.begin() + 7, again.begin(), again.end());
    script.push_back(reportAnswer());
    CommandRun run = runScript(script, engine);

    ASSERT_EQ(run.lines.size(), 15u);
    EXPECT_EQ(run.lines[7]["message"], "Onbekende CSV-kolom in bestandsnaam: 'Klant'.");
    EXPECT_EQ(run.lines[7]["informative"], "Kolommen in het gegevensbestand: Text Box 1, Text Box 2");
    EXPECT_EQ(run.lines[7]["buttons"], json({"OK"}));
    // The same dialog again, holding the pattern as typed.
    EXPECT_EQ(run.lines[8]["message"], "Kies het patroon voor bestandsnamen");
    EXPECT_EQ(run.lines[8]["fields"][0]["shown"], "Factuur-{Klant}-{#}");
    EXPECT_EQ(run.lines[9]["message"], "Een accolade in het bestandsnaampatroon is niet afgesloten.");
    EXPECT_EQ(run.lines[11]["message"], "Optioneel watermerk");
    ASSERT_EQ(run.calls.size(), 1u);
    EXPECT_EQ(run.calls[0].pattern, "Factuur-{Text Box 2}-{#}");

    // Leaving the dialog when it comes back ends the run without a merge.
    json cancelled = completeRun(files);
    cancelled[6] = {{"button", "Verder"}, {"fields", {"{Klant}"}}};
    cancelled.erase(cancelled.begin() + 7, cancelled.end());
    cancelled.push_back(json::object());
    cancelled.push_back({{"button", "Annuleren"}});
    run = runScript(cancelled, engine);
    EXPECT_EQ(run.calls.size(), 1u);
    EXPECT_EQ(run.lines.back()["message"], "Kies het patroon voor bestandsnamen");
}

TEST(MergeCommand, EveryRunStartsFromTheDefaults) {
    WorkflowFiles files;
    RecordingEngine engine;
    json first = completeRun(files);
    first[2] = {{"popups", {1}}, {"button", "Verder"}};  // semicolon: one column, the comma would give two
    first.insert(first.begin() + 3, json{{"button", "Toch doorgaan"}});
    first.erase(first.begin() + 4, first.end());
    first.push_back({{"cancel", true}});
    runScript(first, engine);

    json second = json::array({{{"path", files.form.string()}},
                               {{"path", files.csv.string()}},
                               json::object(),
                               json::object(),
                               json::object(),
                               {{"button", "Losse PDF's"}},
                               {{"cancel", true}}});
    CommandRun run = runScript(second, engine);
    EXPECT_EQ(run.lines[2]["popups"][0]["selected"], 0);
    EXPECT_EQ(run.lines[6]["fields"][0]["shown"], "merge-{#}");
}

TEST(MergeCommand, EveryTextFollowsTheLanguageInForce) {
    std::vector<json> perLanguage;
    for (const char* code : {"nl", "en"}) {
        WorkflowFiles files("Text Box 1,Text Box 2\nA1,B1\n", code);
        RecordingEngine engine;
        engine.answer(false, 1, "x");
        json script = completeRun(files);
        for (auto& answer : script) {
            if (answer.contains("button")) answer["button"] = 1;  // titles differ per language
        }
        script[6]["fields"] = {"{#}"};
        script[7] = {{"popups", {3}}};
        script.insert(script.begin() + 8, json{{"fields", {"W"}}});
        script.insert(script.begin() + 9, json::object());
        script[10] = {{"button", 2}};  // with a log
        script.push_back(reportAnswer());
        perLanguage.push_back(runScript(script, engine).lines);
    }
    ASSERT_EQ(perLanguage[0].size(), perLanguage[1].size());
    for (size_t i = 0; i < perLanguage[0].size(); ++i) {
        const json& nl = perLanguage[0][i];
        const json& en = perLanguage[1][i];
        SCOPED_TRACE(nl.dump());
        if (nl["kind"] == "open-panel") {
            EXPECT_NE(nl["title"], en["title"]);
            continue;
        }
        EXPECT_NE(nl["message"], en["message"]);
        EXPECT_NE(nl["informative"], en["informative"]);
        if (nl["buttons"].size() > 1) {
            EXPECT_NE(nl["buttons"][0], en["buttons"][0]);
        }
    }
}

TEST(MergeCommand, AccessoryViewsHaveTheirSizes) {
    WorkflowFiles files;
    RecordingEngine engine;
    std::map<std::string, qvui::Size> sizes;
    json script = completeRun(files);
    script[7] = {{"popups", {3}}};
    script.insert(script.begin() + 8, json{{"fields", {"W"}}});
    script.insert(script.begin() + 9, json::object());
    script.push_back(json::object());
    ScriptedDialogs dialogs(script.dump(), [&](qvui::Alert& alert) {
        if (auto* view = alert.accessoryView().get()) sizes[alert.messageText()] = view->frame().size();
    });
    QVCommand(nullptr);
    dialogs.expectScriptUsedUp();
    EXPECT_EQ(sizes["Kies het scheidingsteken"], (qvui::Size{240, 26}));
    EXPECT_EQ(sizes["Kies het patroon voor bestandsnamen"], (qvui::Size{350, 24}));
    EXPECT_EQ(sizes["Optioneel watermerk"], (qvui::Size{360, 26}));
    EXPECT_EQ(sizes["Tekst voor watermerk"], (qvui::Size{360, 24}));
    EXPECT_EQ(sizes.count("Samenvoegen voltooid"), 0u);  // the report has no accessory view
}
