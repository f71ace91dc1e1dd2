// Input paths that are not files: a device that never ends, a FIFO that nobody writes, a file far
// beyond any real form or data file. Each is refused with a message, without waiting and without
// reading more than the cap, in a child process whose memory and processor time are limited.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "Bounds.h"
#include "input/DelimitedText.h"
#include "input/ReadFile.h"
#include "input/Template.h"
#include "localization/Text.h"
#include "platform/Format.h"
#include "support/TestSupport.h"

namespace {

using namespace qvhostile;
namespace fs = std::filesystem;

enum class Input { Data, Template };

// Reads `path` as the data file or the template and answers 0 when it was refused with
// `reason` inside the reader's own message.
int refusedWith(Input input, const fs::path& path, const std::string& reason) {
    QVError error;
    const bool read =
        input == Input::Data ? QVReadDataFile(path, &error).has_value() : QVReadTemplate(path, &error).has_value();
    const std::string expected =
        QVFormat(QVText(input == Input::Data ? "CSV lezen mislukt: %@" : "PDF lezen mislukt: %@"), {reason});
    if (read || error.message != expected) {
        std::fprintf(stderr, "read=%d message=%s expected=%s\n", read, error.message.c_str(), expected.c_str());
        return 1;
    }
    return 0;
}

TEST(HostileInputFile, DevicesAndFifosAreRefusedWithoutReadingOrWaiting) {
    qvtest::TempDir dir;
    const fs::path fifo = dir / "pijp.csv";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (Input input : {Input::Data, Input::Template}) {
        for (const fs::path& path : {fs::path("/dev/zero"), fs::path("/dev/urandom"), fifo}) {
            const std::string reason = QVFormat(QVText("'%@' is geen gewoon bestand."), {QVFileDisplayName(path)});
            // Not even one buffer of a never-ending device fits in what the child may map.
            Bounded run = runBounded([&] { return refusedWith(input, path, reason); }, 256 * kMiB, 10);
            EXPECT_TRUE(run.withinBounds()) << path << " signal " << run.signal;
        }
    }
}

TEST(HostileInputFile, FilesBeyondTheCapAreRefusedBeforeTheyAreRead) {
    qvtest::TempDir dir;
    // Sparse files: one byte beyond each cap, nothing on disk.
    auto sparse = [&](const char* name, uint64_t size) {
        const fs::path path = dir / name;
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
        ::close(fd);
        return path;
    };
    const fs::path data = sparse("groot.csv", kQVMaxDataFileBytes + 1);
    const fs::path form = sparse("groot.pdf", kQVMaxTemplateBytes + 1);
    const std::string dataReason = QVFormat(QVText("Het bestand '%@' is groter dan %lu MiB."), {"groot.csv", 1024ul});
    const std::string formReason = QVFormat(QVText("Het bestand '%@' is groter dan %lu MiB."), {"groot.pdf", 512ul});
    EXPECT_TRUE(runBounded([&] { return refusedWith(Input::Data, data, dataReason); }, 256 * kMiB, 10).withinBounds());
    EXPECT_TRUE(
        runBounded([&] { return refusedWith(Input::Template, form, formReason); }, 256 * kMiB, 10).withinBounds());

    // Exactly at the cap is still read.
    const fs::path atCap = sparse("net.pdf", kQVMaxTemplateBytes);
    Bounded run = runBounded(
        [&] { return QVReadWholeFile(atCap, kQVMaxTemplateBytes).value_or("").size() == kQVMaxTemplateBytes ? 0 : 1; },
        kQVMaxTemplateBytes + 512 * kMiB, 30);
    EXPECT_TRUE(run.withinBounds()) << "signal " << run.signal;
}

TEST(HostileInputFile, ALinkToARegularFileIsStillRead) {
    qvtest::TempDir dir;
    qvtest::writeFile(dir / "echt.csv", "Naam\nAnna\n");
    fs::create_symlink(dir / "echt.csv", dir / "link.csv");
    EXPECT_EQ(QVReadDataFile(dir / "link.csv"), "Naam\nAnna\n");
}

}  // namespace
