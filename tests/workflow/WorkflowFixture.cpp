#include "WorkflowFixture.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>

#include "localization/Text.h"
#include "platform/dialogs/TerminalBackend.h"
#include "workflow/Command.h"

namespace qvtest {

namespace {

struct EngineState {
    std::vector<EngineCall> calls;
    bool succeeded = true;
    uint64_t count = 0;
    std::string message;
    bool createLog = true;
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
    if (state().createLog) writeFile(logURL, "{}");
    return answerCall(std::move(call), count, error);
}

}  // namespace

RecordingEngine::RecordingEngine() : saved_(qvworkflow::mergeEntryPoints()) {
    state() = EngineState{};
    qvworkflow::mergeEntryPoints().withWatermarkPattern = &recordPlain;
    qvworkflow::mergeEntryPoints().loggedWithPattern = &recordLogged;
}

RecordingEngine::~RecordingEngine() { qvworkflow::mergeEntryPoints() = saved_; }

void RecordingEngine::answer(bool succeeded, uint64_t count, std::string message) {
    state().succeeded = succeeded;
    state().count = count;
    state().message = std::move(message);
}

void RecordingEngine::createLogFile(bool create) { state().createLog = create; }

const std::vector<EngineCall>& RecordingEngine::calls() const { return state().calls; }

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

std::string runCommandInTerminal(const std::string& typed, unsigned short columns, bool progressAtOnce) {
    termios mode{};
    cfmakeraw(&mode);
    // A cooked terminal as a person has it, without the echo that would mix the typed-ahead
    // answers into what the command shows.
    mode.c_iflag = ICRNL;
    mode.c_oflag = OPOST | ONLCR;
    mode.c_lflag = ICANON | ISIG;
    mode.c_cflag = CS8 | CREAD;
    mode.c_cc[VEOF] = 4;
    mode.c_cc[VMIN] = 1;
    winsize size{};
    size.ws_col = columns;
    size.ws_row = columns ? 24 : 0;
    int master = -1;
    // What this process has buffered for its own output would otherwise reach the terminal too,
    // from the child.
    std::cout.flush();
    std::fflush(nullptr);
    pid_t pid = forkpty(&master, nullptr, &mode, &size);
    if (pid < 0) return "forkpty failed";
    if (pid == 0) {
        auto backend = std::make_shared<qvui::TerminalBackend>();
        if (progressAtOnce) backend->setProgressTiming(std::chrono::seconds(0), std::chrono::seconds(5));
        qvui::setDialogBackend(backend);
        qvui::setDialogTextProvider(QVText);
        QVCommand(nullptr);
        std::cout.flush();
        _exit(0);
    }
    // Typed ahead, as a fast typist would: the terminal keeps the lines until they are read.
    ssize_t written = write(master, typed.data(), typed.size());
    EXPECT_EQ(written, static_cast<ssize_t>(typed.size()));

    std::string shown;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        pollfd p{master, POLLIN, 0};
        int ready = poll(&p, 1, 1000);
        if (ready > 0) {
            char buffer[4096];
            ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) break;  // the child closed the terminal
            shown.append(buffer, static_cast<size_t>(n));
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "the command did not finish; it showed:\n" << shown;
            kill(pid, SIGKILL);
            break;
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
    std::string lines;
    for (size_t i = 0; i < shown.size(); ++i) {
        if (shown[i] == '\r' && i + 1 < shown.size() && shown[i + 1] == '\n') continue;
        lines += shown[i];
    }
    return lines;
}

std::vector<std::string> messages(const std::vector<nlohmann::json>& lines) {
    std::vector<std::string> out;
    for (const auto& line : lines) out.push_back(line.value("message", line.value("title", std::string())));
    return out;
}

}  // namespace qvtest
