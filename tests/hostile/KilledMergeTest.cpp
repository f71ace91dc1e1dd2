// `quorvel merge` killed with SIGKILL at random moments: whatever carries a final name is a
// complete PDF, the same bytes a merge that ran to the end writes, and nothing else is left.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/DutchHome.h"
#include "support/FormFixtures.h"
#include "support/TestSupport.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class KilledMerge : public qvtest::DutchHomeTest {
protected:
    static constexpr int kRecords = 500;
    fs::path form_ = dir_ / "formulier.pdf";
    fs::path data_ = dir_ / "klanten.csv";

    void SetUp() override {
        // Each file is large enough (about 200 KB) that writing it takes a while: a kill has
        // a fair chance of landing in the middle of a write.
        qvfixture::FormBuilder builder;
        int page = builder.addPage(std::string(200 * 1024, 'x'));
        for (const char* name : {"Naam", "Adres", "Plaats"}) builder.addWidget(page, builder.addText(name));
        qvtest::writeFile(form_, builder.build());
        std::string csv = "Naam,Adres,Plaats\n";
        for (int i = 1; i <= kRecords; ++i) {
            csv += "Klant " + std::to_string(i) + " Één,Kerkstraat " + std::to_string(i) + ",Utrecht\n";
        }
        qvtest::writeFile(data_, csv);
    }

    std::vector<std::string> arguments(const fs::path& out, const std::string& mode) const {
        return qvtest::quorvelMerge(form_.string(), data_.string(), out, {"--mode", mode, "--log", "--quiet"});
    }

    // Starts the merge and kills it after `delay` unless it ended first. Answers whether it was
    // still running when the signal went out.
    static bool runAndKill(const std::vector<std::string>& argv, std::chrono::microseconds delay) {
        std::vector<char*> pointers;
        for (const std::string& a : argv) pointers.push_back(const_cast<char*>(a.c_str()));
        pointers.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = -1;
        int rc = posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) return false;
        std::this_thread::sleep_for(delay);
        int status = 0;
        bool running = ::waitpid(pid, &status, WNOHANG) == 0;
        if (running) ::kill(pid, SIGKILL);
        if (running) ::waitpid(pid, &status, 0);
        return running;
    }

    static std::set<std::string> names(const fs::path& folder) {
        std::set<std::string> result;
        for (const auto& entry : fs::directory_iterator(folder)) result.insert(entry.path().filename().string());
        return result;
    }

    static std::string logName(const std::set<std::string>& names) {
        for (const std::string& name : names) {
            if (name.starts_with("quorvel-log-")) return name;
        }
        return {};
    }

    // A complete run into `out`; answers how long it took.
    Clock::duration reference(const fs::path& out, const std::string& mode) {
        fs::create_directories(out);
        Clock::time_point start = Clock::now();
        qvtest::CommandResult result = qvtest::runCommand(arguments(out, mode));
        Clock::duration took = Clock::now() - start;
        EXPECT_EQ(result.status, 0) << result.errors;
        return took;
    }

    // Kills `rounds` merges at random moments over the span of a whole run, and checks each
    // folder against the complete one.
    void killRepeatedly(const std::string& mode, int rounds) {
        fs::path whole = dir_ / ("heel-" + mode);
        Clock::duration took = reference(whole, mode);
        std::set<std::string> expected = names(whole);
        const std::string wholeLog = logName(expected);
        ASSERT_FALSE(wholeLog.empty());
        expected.erase(wholeLog);
        for (const std::string& name : expected) {
            qvtest::CommandResult check = qvtest::runCommand({"qpdf", "--check", (whole / name).string()});
            ASSERT_EQ(check.status, 0) << name << ": " << check.output;
            if (mode == "separate") break;  // one is enough: the others are checked by their bytes below
        }

        // Kill moments spread over a whole run; on a busy machine runs may end sooner than the
        // first one did, so a run that ends before its kill narrows the spread.
        int64_t span = std::chrono::duration_cast<std::chrono::microseconds>(took).count();
        std::random_device device;
        const unsigned seed = device();
        std::mt19937 random(seed);
        int interrupted = 0;
        int partway = 0;
        for (int round = 0; round < rounds; ++round) {
            fs::path out = dir_ / (mode + "-" + std::to_string(round));
            fs::create_directories(out);
            const auto delay = std::chrono::microseconds(std::uniform_int_distribution<int64_t>(0, span)(random));
            bool killed = runAndKill(arguments(out, mode), delay);
            if (!killed) span = std::max<int64_t>(span * 3 / 4, 1000);
            SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(round) + ", killed after " +
                         std::to_string(delay.count()) + " µs");
            std::set<std::string> left = names(out);
            const std::string log = logName(left);
            left.erase(log);
            for (const std::string& name : left) {
                ASSERT_TRUE(expected.count(name)) << "unexpected file " << name;
                ASSERT_TRUE(qvtest::readFile(out / name) == qvtest::readFile(whole / name)) << name << " is incomplete";
            }
            if (!killed) continue;
            ++interrupted;
            if (!left.empty() && left.size() < expected.size()) ++partway;
            // The log is written when the merge ends: an interrupted run leaves it empty, which
            // tells the user that the run did not finish.
            if (!log.empty() && left.size() < expected.size()) {
                EXPECT_EQ(qvtest::readFile(out / log), "") << log;
            }
            fs::remove_all(out);
        }
        EXPECT_GT(interrupted, rounds / 3) << "too few runs were interrupted to prove anything";
        if (mode == "separate") {
            EXPECT_GT(partway, 0) << "no run was interrupted between two records";
        }
    }
};

TEST_F(KilledMerge, SeparateFilesUnderTheirFinalNamesAreAlwaysComplete) { killRepeatedly("separate", 30); }

TEST_F(KilledMerge, TheCombinedFileIsEitherCompleteOrAbsent) { killRepeatedly("combined", 10); }

}  // namespace
