#include "DryRun.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "engine/Combined.h"
#include "localization/Text.h"
#include "output/OutputFolder.h"
#include "output/Pattern.h"
#include "platform/Error.h"
#include "platform/FileDescriptor.h"
#include "platform/Format.h"
#include "platform/System.h"

namespace {

// 0 when a new file can be made in `folder`, else the error number the run would meet.
int creationError(const QVOutputFolder& folder) {
    if (folder.openError()) return folder.openError();
    QVFileDescriptor nameless(::openat(folder.descriptor(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    // Never linked: it vanishes with its descriptor.
    if (nameless.valid()) return 0;
    const int number = errno;
    // The same cases in which the run writes under the final name instead.
    if (number != EOPNOTSUPP && number != EISDIR && number != EINVAL) return number;
    const std::string probe = ".quorvel-" + QVNewUUIDString();
    QVFileDescriptor named(
        ::openat(folder.descriptor(), probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!named.valid()) return errno;
    ::unlinkat(folder.descriptor(), probe.c_str(), 0);
    return 0;
}

// The name of the first file the run would write.
std::string firstFileName(const QVMergeSettings& settings) {
    if (settings.mode == QVOutputModeCombined) return QVCombinedFileName;
    std::optional<QVRecordTable> table = QVParseDelimitedText(settings.dataText, settings.separator);
    if (!table || table->rowCount() < 2) return {};
    const std::vector<std::string_view> header = table->header();
    return QVFilename(settings.filenamePattern, header, table->row(1), 1, nullptr).value_or("");
}

}  // namespace

std::optional<uint64_t> QVCheckMerge(const QVMergeSettings& settings, QVError* error) {
    uint64_t planned = 0;
    if (!QVCheckMergeSettings(settings, &planned, error)) return std::nullopt;
    return planned;
}

bool QVCheckFolderWritable(const QVMergeSettings& settings, QVError* error) {
    // Looked at the way the run looks at it: the folder's path followed once, then held.
    const int number = creationError(QVOutputFolder::open(settings.outputFolder));
    if (number == 0) return true;
    const std::string text = QVStrError(number);
    return QVFail(error,
                  QVFormat(QVText("Bestand '%@' aanmaken mislukt: %s"), {firstFileName(settings), text.c_str()}));
}
