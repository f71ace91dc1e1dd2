// The progress bar of `quorvel merge` on a terminal (a pseudo-terminal here): records as they
// are done, then the combined file's completion, then nothing left of it.

#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/DutchHome.h"
#include "support/FormFixtures.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

struct TerminalRun {
    int status = -1;
    std::string shown;  // standard output and error as the terminal got them
};

// Runs the built command with a pseudo-terminal as its standard output and error.
TerminalRun runInTerminal(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), (qvtest::binDir() / "quorvel").string());
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    winsize size{};
    size.ws_col = 100;
    size.ws_row = 24;
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    if (pid < 0) return {};
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    TerminalRun run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(240);
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 1000) > 0) {
            char buffer[4096];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) break;  // the child closed the terminal
            run.shown.append(buffer, static_cast<size_t>(n));
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "the merge did not finish";
            kill(pid, SIGKILL);
            break;
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(master);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class CliProgress : public qvtest::DutchHomeTest {};

}  // namespace

TEST_F(CliProgress, TheBarNamesTheCombinedFileAfterTheLastRecord) {
    // Enough records that the merge takes longer than the bar's half second of grace.
    const int records = 20000;
    std::string data = "Naam,Plaats\n";
    for (int i = 1; i <= records; ++i) data += "Klant " + std::to_string(i) + ",Utrecht\n";
    qvtest::writeFile(dir_ / "klanten.csv", data);
    qvtest::writeFile(dir_ / "formulier.pdf", qvfixture::textForm({"Naam", "Plaats"}));

    TerminalRun run =
        runInTerminal({"merge", "--template", (dir_ / "formulier.pdf").string(), "--data",
                       (dir_ / "klanten.csv").string(), "--output", (dir_ / "uit").string(), "--mode", "combined"});
    ASSERT_EQ(run.status, 0) << run.shown;
    const std::string all = "20000 van 20000 records";
    const std::string combined = "\r[" + std::string(30, '#') + "] Gecombineerd bestand schrijven…\x1b[K";
    const size_t last = run.shown.rfind(all);
    const size_t writing = run.shown.find(combined);
    ASSERT_NE(last, std::string::npos) << run.shown;
    ASSERT_NE(writing, std::string::npos) << run.shown;
    EXPECT_LT(last, writing);
    // Then the bar is erased and the summary follows on a clean line.
    EXPECT_EQ(run.shown.substr(writing + combined.size()), "\r\x1b[K1 PDF-bestand gemaakt.\r\n");
    EXPECT_TRUE(fs::exists(dir_ / "uit" / "merge-gecombineerd.pdf"));
}
