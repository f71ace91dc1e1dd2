// The templates parsed so far, and the outputs produced from them, so that a merge that opens
// the same template (or its own output) once per record parses it only once.

#include <cstring>
#include <deque>
#include <mutex>

#include "platform/pdf/Internal.h"
#include "platform/pdf/QpdfSupport.h"

namespace qvpdf::detail {

namespace {

// A handful of templates is plenty: a merge uses one, a test suite a few at a time.
constexpr size_t kTemplates = 4;
// Outputs are reopened right after they were produced (combined output flattens record by
// record), so the last few suffice.
constexpr size_t kOutputs = 8;

struct Output {
    std::shared_ptr<Template> tpl;
    std::string tail;
    std::shared_ptr<const State> state;
    bool whole = false;  // `tail` is the whole output
};

// Never destroyed: QPDF's own statics may be gone by the time ours would be, so a parsed
// template must not be torn down at exit.
std::mutex& gMutex = *new std::mutex;
std::deque<std::shared_ptr<Template>>& gTemplates = *new std::deque<std::shared_ptr<Template>>;  // most recent first
std::deque<Output>& gOutputs = *new std::deque<Output>;

bool sameBytes(std::string_view a, const std::string& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size()) == 0;
}

bool startsWith(std::string_view bytes, const std::string& prefix) {
    return bytes.size() >= prefix.size() && std::memcmp(bytes.data(), prefix.data(), prefix.size()) == 0;
}

}  // namespace

std::shared_ptr<Template> sharedTemplate(std::string_view bytes) {
    {
        std::lock_guard<std::mutex> lock(gMutex);
        for (auto it = gTemplates.begin(); it != gTemplates.end(); ++it) {
            // A decrypted base is no template of ours: opened, those bytes are not encrypted.
            bool same = sameBytes(bytes, (*it)->original) || (!(*it)->encrypted && sameBytes(bytes, (*it)->base));
            if (!same) continue;
            auto t = *it;
            if (it != gTemplates.begin()) {
                gTemplates.erase(it);
                gTemplates.push_front(t);
            }
            return t;
        }
    }
    auto t = loadTemplateUncached(bytes);
    if (!t) return nullptr;
    std::lock_guard<std::mutex> lock(gMutex);
    gTemplates.push_front(t);
    if (gTemplates.size() > kTemplates) gTemplates.pop_back();
    return t;
}

void rememberOutput(const std::shared_ptr<Template>& tpl, std::string tail,
                    std::shared_ptr<const State> state, bool whole) {
    std::lock_guard<std::mutex> lock(gMutex);
    gOutputs.push_front(Output{tpl, std::move(tail), std::move(state), whole});
    if (gOutputs.size() > kOutputs) gOutputs.pop_back();
}

std::shared_ptr<const State> recallOutput(std::string_view bytes) {
    std::lock_guard<std::mutex> lock(gMutex);
    for (const auto& out : gOutputs) {
        if (out.whole) {
            if (sameBytes(bytes, out.tail)) return out.state;
            continue;
        }
        const std::string& base = out.tpl->base;
        if (bytes.size() != base.size() + out.tail.size() || !startsWith(bytes, base)) continue;
        if (std::memcmp(bytes.data() + base.size(), out.tail.data(), out.tail.size()) != 0) continue;
        return out.state;
    }
    return nullptr;
}

}  // namespace qvpdf::detail
