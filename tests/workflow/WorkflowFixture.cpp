#include "WorkflowFixture.h"

namespace qvtest {

namespace {

struct EngineState {
    std::vector<EngineCall> calls;
    bool succeeded = true;
    uint64_t count = 0;
    std::string message;
};

EngineState& state() {
    static EngineState s;
    return s;
}

bool answerCall(EngineCall call, uint64_t* count, QVError* error) {
    state().calls.push_back(std::move(call));
    if (count) *count = state().count;
    if (!state().succeeded && error) error->message = state().message;
    return state().succeeded;
}

bool recordPlain(std::string_view templateBytes, std::string_view dataText, const fs::path& outputFolder,
                 QVOutputMode mode, std::string_view pattern, uint16_t separator, const QVFieldMapping* mapping,
                 const std::optional<std::string>& column, const std::optional<std::string>& watermarkPattern,
                 QVWatermarkStyle style, uint64_t* count, QVError* error) {
    EngineCall call;
    call.templateBytes = templateBytes;
    call.dataText = dataText;
    call.outputFolder = outputFolder;
    call.mode = mode;
    call.pattern = pattern;
    call.separator = separator;
    if (mapping) call.mapping = *mapping;
    call.watermarkColumn = column;
    call.watermarkPattern = watermarkPattern;
    call.style = style;
    return answerCall(std::move(call), count, error);
}

bool recordLogged(std::string_view templateBytes, std::string_view dataText, const fs::path& templateURL,
                  const fs::path& dataURL, const fs::path& outputFolder, const fs::path& logURL, QVOutputMode mode,
                  std::string_view pattern, uint16_t separator, const QVFieldMapping& mapping,
                  const std::optional<std::string>& column, const std::optional<std::string>& watermarkPattern,
                  QVWatermarkStyle style, uint64_t* count, QVError* error) {
    EngineCall call;
    call.logged = true;
    call.templateBytes = templateBytes;
    call.dataText = dataText;
    call.templateURL = templateURL;
    call.dataURL = dataURL;
    call.outputFolder = outputFolder;
    call.logURL = logURL;
    call.mode = mode;
    call.pattern = pattern;
    call.separator = separator;
    call.mapping = mapping;
    call.watermarkColumn = column;
    call.watermarkPattern = watermarkPattern;
    call.style = style;
    return answerCall(std::move(call), count, error);
}

}  // namespace

RecordingEngine::RecordingEngine() : saved_(qvworkflow::mergeEntryPoints()) {
    state() = EngineState{};
    qvworkflow::mergeEntryPoints().withWatermarkPattern = &recordPlain;
    qvworkflow::mergeEntryPoints().loggedWithPattern = &recordLogged;
}

RecordingEngine::~RecordingEngine() {
    qvworkflow::mergeEntryPoints() = saved_;
}

void RecordingEngine::answer(bool succeeded, uint64_t count, std::string message) {
    state().succeeded = succeeded;
    state().count = count;
    state().message = std::move(message);
}

const std::vector<EngineCall>& RecordingEngine::calls() const {
    return state().calls;
}

WorkflowFiles::WorkflowFiles(const std::string& data, const char* languageCode)
    : language(languageCode),
      form(language.home / "formulier.pdf"),
      csv(language.home / "klanten.csv"),
      out(language.home / "uitvoer") {
    fs::copy_file(formsDir() / "libreoffice-two-text.pdf", form);
    writeFile(csv, data);
    fs::create_directory(out);
}

nlohmann::json completeRun(const WorkflowFiles& files) {
    using J = nlohmann::json;
    return J::array({
        {{"path", files.form.string()}},
        {{"path", files.csv.string()}},
        {{"button", "Verder"}},
        {{"button", "Verder"}},
        {{"button", "Verder"}},
        {{"button", "Losse PDF's"}},
        {{"button", "Verder"}, {"fields", {"Brief-{#}"}}},
        {{"button", "Verder"}},
        {{"button", "Zonder logboek"}},
        {{"path", files.out.string()}},
    });
}

std::vector<std::string> messages(const std::vector<nlohmann::json>& lines) {
    std::vector<std::string> out;
    for (const auto& line : lines) out.push_back(line.value("message", line.value("title", std::string())));
    return out;
}

}  // namespace qvtest
