// The templates parsed so far, and the outputs produced from them, so that a merge that opens
// the same template (or its own output) once per record parses it only once.
//
// They are kept in a context, which its owner makes and ends: a parsed template holds QPDF
// objects and caches that fill as they are read, which two threads must never touch at once,
// so documents share a parsed template only with the other documents of their context.

#include <cstring>

#include "platform/pdf/detail/Internal.h"
#include "platform/pdf/detail/QpdfSupport.h"

namespace qvpdf {

PDFContext::PDFContext() : impl_(std::make_shared<Impl>()) {}
PDFContext::~PDFContext() = default;

// The one context nobody hands in. A thread's ends with the thread; the main thread's before
// any static object, while QPDF's own statics are still there.
PDFContext& PDFContext::ofThisThread() {
    thread_local PDFContext context;
    return context;
}

size_t PDFContext::templatesParsed() const { return impl_->parsed; }

}  // namespace qvpdf

namespace qvpdf::detail {

namespace {

// A handful of templates is plenty: a merge uses one, a test suite a few at a time.
constexpr size_t kTemplates = 4;
// Outputs are reopened right after they were produced (combined output flattens record by
// record), so the last few suffice.
constexpr size_t kOutputs = 8;

bool sameBytes(std::string_view a, const std::string& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size()) == 0;
}

bool startsWith(std::string_view bytes, const std::string& prefix) {
    return bytes.size() >= prefix.size() && std::memcmp(bytes.data(), prefix.data(), prefix.size()) == 0;
}

}  // namespace

std::shared_ptr<Template> sharedTemplate(ContextImpl& context, std::string_view bytes) {
    std::deque<std::shared_ptr<Template>>& templates = context.templates;
    for (auto it = templates.begin(); it != templates.end(); ++it) {
        // A decrypted base is no template of ours: opened, those bytes are not encrypted.
        bool same = sameBytes(bytes, (*it)->original) || (!(*it)->encrypted && sameBytes(bytes, (*it)->base));
        if (!same) continue;
        auto t = *it;
        if (it != templates.begin()) {
            templates.erase(it);
            templates.push_front(t);
        }
        return t;
    }
    auto t = loadTemplateUncached(bytes);
    if (!t) return nullptr;
    ++context.parsed;
    templates.push_front(t);
    if (templates.size() > kTemplates) templates.pop_back();
    return t;
}

void rememberOutput(ContextImpl& context, const std::shared_ptr<Template>& tpl, std::string tail,
                    std::shared_ptr<const State> state, bool whole) {
    std::deque<CachedOutput>& outputs = context.outputs;
    outputs.push_front(CachedOutput{tpl, std::move(tail), std::move(state), whole});
    if (outputs.size() > kOutputs) outputs.pop_back();
}

std::shared_ptr<const State> recallOutput(const ContextImpl& context, std::string_view bytes) {
    for (const auto& out : context.outputs) {
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
