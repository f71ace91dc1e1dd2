// A new PDF file from pages of any documents (combined output). Objects of a shared template
// are written once however many pages use them; objects that records added are written once
// per distinct content, so identical appearance streams and font subsets are not repeated.

#include <qpdf/Buffer.hh>

#include <cstdio>
#include <climits>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <unordered_map>

#include "platform/pdf/detail/Deflate.h"
#include "platform/pdf/detail/Internal.h"
#include "platform/pdf/detail/ObjectWriter.h"

namespace qvpdf::detail {

namespace {

constexpr size_t kCompressAbove = 64;
// Deeper reference chains are written breadth first, without looking for duplicates.
constexpr int kMaxDepth = 200;

struct ObjKey {
    const void* owner;
    int num;
    int gen;
    bool operator<(const ObjKey& o) const {
        if (owner != o.owner) return std::less<const void*>()(owner, o.owner);
        return num != o.num ? num < o.num : gen < o.gen;
    }
};

// Where each object starts, five bytes apiece: a combined file of millions of records holds
// millions of objects, and files beyond a terabyte are not made.
class Offsets {
public:
    void assign(size_t n, uint64_t value) {
        low_.assign(n, static_cast<uint32_t>(value));
        high_.assign(n, static_cast<uint8_t>(value >> 32));
    }
    void push_back(uint64_t value) {
        low_.push_back(static_cast<uint32_t>(value));
        high_.push_back(static_cast<uint8_t>(value >> 32));
    }
    void set(size_t i, uint64_t value) {
        low_[i] = static_cast<uint32_t>(value);
        high_[i] = static_cast<uint8_t>(value >> 32);
    }
    uint64_t operator[](size_t i) const { return uint64_t{high_[i]} << 32 | low_[i]; }
    size_t size() const { return low_.size(); }

private:
    std::vector<uint32_t> low_;
    std::vector<uint8_t> high_;
};

// Where a streamed file goes: `write` appends bytes, `read` gives back bytes written before.
struct FreshSink {
    std::function<bool(std::string_view)> write;
    std::function<bool(uint64_t, size_t, char*)> read;
};

class FreshWriter {
public:
    // Without a sink the whole file collects in memory; with one it goes out page by page.
    explicit FreshWriter(FreshSink sink = {}) : sink_(std::move(sink)) {
        out_ = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
        offsets_.assign(3, 0);
    }

    std::string write(const std::vector<PageSlot>& slots) {
        if (!slots.empty()) noteInfo(slots.front());
        for (size_t i = 0; i < slots.size(); ++i) pageIds_.push_back(allocate());
        for (size_t i = 0; i < slots.size(); ++i) {
            writePage(slots[i], pageIds_[i]);
            drain();
        }
        writeTail();
        return std::move(out_);
    }

    // Streaming: one more page, written out with every object it needs that is not out yet.
    bool add(const PageSlot& slot) {
        noteInfo(slot);
        pageIds_.push_back(allocate());
        writePage(slot, pageIds_.back());
        drain();
        // Small pieces are gathered first: a write per page would cost more than the page.
        // Object places beyond what Offsets holds end the file rather than corrupt it.
        return (out_.size() < kFlushAbove || flush()) && position() < kMostBytes;
    }
    // The objects numbered for `state` are never asked for again: its pages are all out.
    void forget(const State* state) {
        for (auto it = ids_.lower_bound(ObjKey{state, INT_MIN, INT_MIN}); it != ids_.end() && it->first.owner == state;)
            it = ids_.erase(it);
        for (auto it = newIds_.lower_bound({state, INT_MIN}); it != newIds_.end() && it->first.first == state;)
            it = newIds_.erase(it);
    }
    bool end() {
        writeTail();
        return position() < kMostBytes && flush();
    }
    size_t pageCount() const { return pageIds_.size(); }

private:
    static constexpr size_t kFlushAbove = 1 << 20;
    static constexpr uint64_t kMostBytes = uint64_t{1} << 40;

    size_t position() const { return flushed_ + out_.size(); }

    bool flush() {
        if (out_.empty()) return true;
        if (!sink_.write || !sink_.write(out_)) return false;
        streamHash_ = streamHash_ * 1099511628211u ^ std::hash<std::string_view>{}(out_);
        flushed_ += out_.size();
        out_.clear();
        return true;
    }

    void writeTail() {
        offsets_.set(1, position());
        out_ += "1 0 obj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n";
        offsets_.set(2, position());
        out_ += "2 0 obj\n<</Type /Pages /Count ";
        appendInt(out_, static_cast<long long>(pageIds_.size()));
        out_ += " /Kids [";
        for (int id : pageIds_) {
            appendInt(out_, id);
            out_ += " 0 R ";
        }
        out_ += "]>>\nendobj\n";
        writeXref(writeInfo());
    }

    // True when the bytes at `offset` (written before) are `body`.
    bool sameAt(size_t offset, const std::string& body) {
        if (offset >= flushed_) return std::memcmp(out_.data() + (offset - flushed_), body.data(), body.size()) == 0;
        if (!sink_.read) return false;
        std::string back(body.size(), '\0');
        return sink_.read(offset, back.size(), back.data()) && back == body;
    }

    struct Context {
        const State* state;
        int page;    // page index within the state
        int pageId;  // its object number here
    };
    struct Pending {
        Context ctx;
        QPDFObjGen og;
        bool replaced;
        int id;
    };

    int allocate() {
        offsets_.push_back(0);
        return static_cast<int>(offsets_.size()) - 1;
    }

    RefMapper mapperFor(const Context& ctx) {
        RefMapper m;
        m.templateRef = [this, ctx](QPDFObjGen og) -> std::optional<QPDFObjGen> {
            int id = templateRef(ctx, og);
            if (id <= 0) return std::nullopt;
            return QPDFObjGen(id, 0);
        };
        m.newRef = [this, ctx](int index) { return newRef(ctx, index); };
        return m;
    }

    // Pages and the page tree are this file's own: a reference to the page being written
    // stays (an annotation's /P), any other page or tree node is dropped, so that copying one
    // page never drags the rest of its document along.
    int templateRef(const Context& ctx, QPDFObjGen og) {
        const Template& t = *ctx.state->tpl;
        auto page = t.pageByOg.find(og);
        if (page != t.pageByOg.end()) return page->second == ctx.page ? ctx.pageId : 0;
        if (og == t.rootOg || t.pageTreeNodes.count(og)) return 0;
        bool replaced = ctx.state->replaced.count(og.getObj()) > 0;
        // Replaced objects are the state's own; the rest belong to the template. Identical
        // objects of different templates (a record's output parsed anew) are written once too.
        ObjKey key{replaced ? static_cast<const void*>(ctx.state) : static_cast<const void*>(&t),
                   og.getObj(), og.getGen()};
        auto found = ids_.find(key);
        if (found != ids_.end()) {
            if (found->second == 0) found->second = allocate();  // a cycle: number it now
            return found->second;
        }
        if (depth_ >= kMaxDepth) {
            int id = allocate();
            ids_.emplace(key, id);
            pending_.push_back(Pending{ctx, og, replaced, id});
            return id;
        }
        ids_.emplace(key, 0);
        ++depth_;
        std::string body;
        writeBody(body, ctx, og, replaced);
        --depth_;
        return finish(ids_[key], body);
    }

    // Gives the object its number: the one of an identical object written before, or a new
    // one. An object numbered early (inside a cycle) keeps its number.
    int finish(int& id, const std::string& body) {
        if (id != 0) {
            emit(id, body, nullptr);
            return id;
        }
        size_t hash = std::hash<std::string_view>{}(body);
        auto& candidates = bodies_[hash];
        for (const auto& [offset, length, existing] : candidates) {
            if (length == body.size() && sameAt(offset, body)) {
                id = existing;
                return id;
            }
        }
        id = allocate();
        emit(id, body, &candidates);
        return id;
    }

    void writeBody(std::string& body, const Context& ctx, QPDFObjGen og, bool replaced) {
        RefMapper m = mapperFor(ctx);
        if (replaced)
            writeObjectBody(body, ctx.state->currentDict(og), nullptr, &m);
        else
            writeTemplateBody(body, ctx.state->tpl->qpdf->getObjectByObjGen(og), m);
    }

    int newRef(const Context& ctx, int index) {
        auto key = std::make_pair(static_cast<const void*>(ctx.state), index);
        auto found = newIds_.find(key);
        if (found != newIds_.end()) {
            // A cycle among new objects: give the one in progress its number now.
            if (found->second == 0) found->second = allocate();
            return found->second;
        }
        newIds_.emplace(key, 0);
        const NewObject& obj = *ctx.state->added[static_cast<size_t>(index)];
        std::string body;
        RefMapper m = mapperFor(ctx);
        if (obj.stream && obj.stream->size() > kCompressAbove && !obj.dict.find("Filter")) {
            // A combined file holds thousands of these; compressed they take a third.
            Value dict = obj.dict;
            dict.set("Filter", Value::name("FlateDecode"));
            std::string data = deflateBytes(*obj.stream);
            writeObjectBody(body, dict, &data, &m);
        } else {
            writeObjectBody(body, obj.dict, obj.stream ? &*obj.stream : nullptr, &m);
        }
        return finish(newIds_[key], body);
    }

    void emit(int id, const std::string& body, std::vector<std::tuple<size_t, size_t, int>>* candidates) {
        offsets_.set(static_cast<size_t>(id), position());
        appendInt(out_, id);
        out_ += " 0 obj\n";
        if (candidates) candidates->emplace_back(position(), body.size(), id);
        out_ += body;
    }

    void writePage(const PageSlot& slot, int pageId) {
        const State& s = *slot.frozen;
        const TemplatePage& tp = s.tpl->pages[static_cast<size_t>(slot.page)];
        Context ctx{&s, slot.page, pageId};
        Value page = s.currentDict(tp.og);
        for (const char* key : {"Parent", "Annots", "B"}) page.remove(key);
        page.set("Parent", Value::raw("2 0 R"));
        if (!page.find("Resources") && tp.resources.isInitialized() && !tp.resources.isNull())
            page.set("Resources", Value::handle(tp.resources));
        if (!page.find("MediaBox")) {
            if (tp.mediaBox.isArray()) {
                page.set("MediaBox", Value::handle(tp.mediaBox));
            } else {
                const double letter[4] = {0, 0, 612, 792};
                page.set("MediaBox", Value::rect(letter));
            }
        }
        if (!page.find("CropBox") && tp.cropBox.isArray()) page.set("CropBox", Value::handle(tp.cropBox));
        if (!page.find("Rotate") && tp.rotate.isNumber()) page.set("Rotate", Value::handle(tp.rotate));
        const auto& refs = s.pageAnnots[static_cast<size_t>(slot.page)];
        if (!refs.empty()) {
            // Annotations belong to one page each: they are written per copy.
            Value annots = Value::array();
            for (const AnnotRef& ref : refs) {
                if (ref.tpl >= 0) {
                    QPDFObjGen og = s.tpl->annots[static_cast<size_t>(ref.tpl)].og;
                    int id = allocate();
                    pending_.push_back(Pending{ctx, og, true, id});
                    annots.items().push_back(Value::raw(std::to_string(id) + " 0 R"));
                } else {
                    annots.items().push_back(Value::newRef(s.freeTexts[static_cast<size_t>(ref.freeText)].annotObj));
                }
            }
            page.set("Annots", std::move(annots));
        }
        // New objects it refers to are written while it is serialised, so it goes out after.
        RefMapper m = mapperFor(ctx);
        std::string body;
        writeObjectBody(body, page, nullptr, &m);
        emit(pageId, body, nullptr);
    }

    void drain() {
        while (!pending_.empty()) {
            Pending p = pending_.front();
            pending_.pop_front();
            std::string body;
            writeBody(body, p.ctx, p.og, p.replaced);
            emit(p.id, body, nullptr);
        }
    }

    void writeTemplateBody(std::string& body, QPDFObjectHandle h, const RefMapper& m) {
        if (!h.isStream()) {
            if (h.isDictionary()) {
                body += "<<";
                for (auto& [key, item] : h.ditems()) {
                    if (item.isNull()) continue;
                    appendName(body, std::string_view(key).substr(1));
                    body += ' ';
                    writeHandle(body, item, &m);
                }
                body += ">>";
            } else if (h.isArray()) {
                body += '[';
                for (auto item : h.aitems()) {
                    writeHandle(body, item, &m);
                    body += ' ';
                }
                body += ']';
            } else if (h.isName()) {
                appendName(body, std::string_view(h.getName()).substr(1));
            } else {
                body += h.unparseResolved();
            }
            body += "\nendobj\n";
            return;
        }
        auto data = h.getRawStreamData();
        body += "<<";
        for (auto& [key, item] : h.getDict().ditems()) {
            if (key == "/Length" || item.isNull()) continue;
            appendName(body, std::string_view(key).substr(1));
            body += ' ';
            writeHandle(body, item, &m);
        }
        body += "/Length ";
        appendInt(body, static_cast<long long>(data->getSize()));
        body += ">>\nstream\n";
        body.append(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
        body += "\nendstream\nendobj\n";
    }

    // The combined file is still the template's document: it keeps its title and author,
    // taken from the first page's template as it comes.
    void noteInfo(const PageSlot& slot) {
        if (infoNoted_) return;
        infoNoted_ = true;
        QPDFObjectHandle info = slot.frozen->tpl->trailer.getKey("/Info");
        if (!info.isDictionary()) return;
        for (const char* key : {"Title", "Author"}) {
            QPDFObjectHandle item = info.getKey(std::string("/") + key);
            if (item.isString()) info_.emplace_back(key, item.getStringValue());
        }
    }

    int writeInfo() {
        if (info_.empty()) return 0;
        Value dict = Value::dict();
        for (const auto& [key, text] : info_) dict.set(key, Value::string(text));
        int id = allocate();
        std::string body;
        writeObjectBody(body, dict, nullptr, nullptr);
        emit(id, body, nullptr);
        return id;
    }

    void writeXref(int info) {
        size_t xref = position();
        out_ += "xref\n0 ";
        appendInt(out_, static_cast<long long>(offsets_.size()));
        out_ += "\n0000000000 65535 f\r\n";
        char line[24];
        for (size_t i = 1; i < offsets_.size(); ++i) {
            std::snprintf(line, sizeof line, "%010llu 00000 n\r\n", static_cast<unsigned long long>(offsets_[i]));
            out_ += line;
        }
        // A streamed file's bytes are gone: its identifier hashes them piece by piece.
        size_t h = std::hash<std::string_view>{}(out_);
        if (flushed_) h ^= streamHash_;
        char id[40];
        std::snprintf(id, sizeof id, "%016zx%016zx", h, h ^ offsets_.size());
        out_ += "trailer\n<</Size ";
        appendInt(out_, static_cast<long long>(offsets_.size()));
        out_ += " /Root 1 0 R";
        if (info > 0) {
            out_ += " /Info ";
            appendInt(out_, info);
            out_ += " 0 R";
        }
        out_ += " /ID [<";
        out_ += id;
        out_ += "><";
        out_ += id;
        out_ += ">]>>\nstartxref\n";
        appendInt(out_, static_cast<long long>(xref));
        out_ += "\n%%EOF\n";
    }

    FreshSink sink_;
    bool infoNoted_ = false;
    std::vector<std::pair<const char*, std::string>> info_;
    size_t flushed_ = 0;  // bytes the sink has taken
    size_t streamHash_ = 14695981039346656037u;
    std::vector<int> pageIds_;
    std::string out_;
    Offsets offsets_;
    std::deque<Pending> pending_;
    std::map<ObjKey, int> ids_;
    int depth_ = 0;
    std::map<std::pair<const void*, int>, int> newIds_;
    std::unordered_map<size_t, std::vector<std::tuple<size_t, size_t, int>>> bodies_;
};

}  // namespace

std::optional<std::string> writeFresh(const std::vector<PageSlot>& slots) {
    for (const PageSlot& slot : slots)
        if (!slot.frozen) return std::nullopt;
    FreshWriter writer;
    return writer.write(slots);
}

}  // namespace qvpdf::detail

namespace qvpdf {

using namespace detail;

struct PDFPageWriter::Impl {
    explicit Impl(FreshSink sink) : writer(std::move(sink)) {}
    FreshWriter writer;
    // Objects of a template are numbered by its address: it must outlive the writer.
    std::map<const Template*, std::shared_ptr<Template>> templates;
    bool failed = false;
};

PDFPageWriter::PDFPageWriter(Write write, ReadBack readBack)
    : impl_(std::make_unique<Impl>(FreshSink{std::move(write), std::move(readBack)})) {}

PDFPageWriter::~PDFPageWriter() = default;

bool PDFPageWriter::appendPages(PDFDocument& document) {
    if (impl_->failed) return false;
    try {
        DocumentImpl& d = *document.impl_;
        std::vector<PageSlot> slots;
        for (const PageSlot& slot : d.slots) {
            std::shared_ptr<const State> frozen = slot.frozen;
            if (!frozen) {
                if (!d.state || !prepareForWrite(d, false)) return false;
                frozen = d.freeze();
            }
            // An encrypted file is encrypted as a whole, which a stream cannot be.
            if (frozen->tpl->encryption) return false;
            slots.push_back(PageSlot{frozen, slot.page});
        }
        for (const PageSlot& slot : slots) {
            impl_->templates.emplace(slot.frozen->tpl.get(), slot.frozen->tpl);
            if (!impl_->writer.add(slot)) {
                impl_->failed = true;
                return false;
            }
        }
        for (const PageSlot& slot : slots) impl_->writer.forget(slot.frozen.get());
        return true;
    } catch (...) {
        impl_->failed = true;
        return false;
    }
}

size_t PDFPageWriter::pageCount() const { return impl_->writer.pageCount(); }

bool PDFPageWriter::finish() {
    if (impl_->failed) return false;
    try {
        impl_->failed = !impl_->writer.end();
        return !impl_->failed;
    } catch (...) {
        impl_->failed = true;
        return false;
    }
}

}  // namespace qvpdf
