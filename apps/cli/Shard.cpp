#include "Shard.h"

#include <sched.h>

#include <charconv>
#include <string_view>

#include "localization/Text.h"
#include "platform/Format.h"

namespace {

// Far beyond any cluster, and small enough that names and ranges stay simple.
constexpr uint64_t kMostShards = 1000000;

// Plain decimal digits only: no sign, no spaces, no other base.
std::optional<uint64_t> number(std::string_view text) {
    uint64_t value = 0;
    if (text.empty() || text.size() > 12) return std::nullopt;
    auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (status != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<QVShard> fail(QVError* error, std::string message) {
    QVFail(error, std::move(message));
    return std::nullopt;
}

std::optional<QVShard> checked(uint64_t index, uint64_t count, std::string_view source, QVError* error) {
    if (count < 1 || count > kMostShards || index < 1 || index > count)
        return fail(error, QVFormat(QVText("Ongeldig deel %@: gebruik K/N met K van 1 tot N en N van 1 tot %lu, "
                                           "bijvoorbeeld 3/16."),
                                    {std::string(source), static_cast<unsigned long>(kMostShards)}));
    return QVShard{index, count};
}

std::optional<QVShard> fromVariables(const std::function<const char*(const char*)>& variable, QVError* error) {
    auto value = [&variable](const char* name) -> std::optional<std::string_view> {
        const char* text = variable(name);
        if (!text) return std::nullopt;
        return std::string_view(text);
    };
    auto bad = [error](const char* name, std::string_view text) {
        return fail(error, QVFormat(QVText("De omgevingsvariabele %@ heeft geen bruikbare waarde: '%@'."),
                                    {std::string(name), std::string(text)}));
    };

    if (std::optional<std::string_view> id = value("SLURM_ARRAY_TASK_ID")) {
        std::optional<std::string_view> countText = value("SLURM_ARRAY_TASK_COUNT");
        if (!countText) return bad("SLURM_ARRAY_TASK_COUNT", "");
        std::optional<uint64_t> task = number(*id), count = number(*countText);
        if (!task) return bad("SLURM_ARRAY_TASK_ID", *id);
        if (!count) return bad("SLURM_ARRAY_TASK_COUNT", *countText);
        uint64_t minimum = 0, step = 1;
        if (std::optional<std::string_view> text = value("SLURM_ARRAY_TASK_MIN")) {
            std::optional<uint64_t> parsed = number(*text);
            if (!parsed || *parsed > *task) return bad("SLURM_ARRAY_TASK_MIN", *text);
            minimum = *parsed;
        }
        if (std::optional<std::string_view> text = value("SLURM_ARRAY_TASK_STEP")) {
            std::optional<uint64_t> parsed = number(*text);
            if (!parsed || *parsed == 0) return bad("SLURM_ARRAY_TASK_STEP", *text);
            step = *parsed;
        }
        if ((*task - minimum) % step != 0) return bad("SLURM_ARRAY_TASK_ID", *id);
        const uint64_t index = (*task - minimum) / step + 1;
        return checked(index, *count, std::to_string(index) + "/" + std::to_string(*count), error);
    }

    if (std::optional<std::string_view> id = value("JOB_COMPLETION_INDEX")) {
        std::optional<std::string_view> countText = value("QV_SHARD_COUNT");
        if (!countText)
            return fail(error, QVText("JOB_COMPLETION_INDEX is gezet maar QV_SHARD_COUNT niet; zet QV_SHARD_COUNT "
                                      "op het aantal delen (completions van de job)."));
        std::optional<uint64_t> index = number(*id), count = number(*countText);
        if (!index) return bad("JOB_COMPLETION_INDEX", *id);
        if (!count) return bad("QV_SHARD_COUNT", *countText);
        return checked(*index + 1, *count, std::to_string(*index + 1) + "/" + std::to_string(*count), error);
    }

    return fail(error, QVText("--shard auto vindt geen deel in de omgeving: verwacht SLURM_ARRAY_TASK_ID en "
                              "SLURM_ARRAY_TASK_COUNT, of JOB_COMPLETION_INDEX en QV_SHARD_COUNT."));
}

}  // namespace

std::optional<QVShard> QVShardFromArgument(const std::string& text,
                                           const std::function<const char*(const char*)>& variable, QVError* error) {
    if (text == "auto") return fromVariables(variable, error);
    const size_t slash = text.find('/');
    std::optional<uint64_t> index =
        slash == std::string::npos ? std::nullopt : number(std::string_view(text).substr(0, slash));
    std::optional<uint64_t> count =
        slash == std::string::npos ? std::nullopt : number(std::string_view(text).substr(slash + 1));
    if (!index || !count) return checked(0, 0, text, error);
    return checked(*index, *count, text, error);
}

unsigned QVUsableProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
    const int count = CPU_COUNT(&set);
    return count > 0 ? static_cast<unsigned>(count) : 1;
}
