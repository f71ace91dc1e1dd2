// A new PDF file from pages of any documents (combined output). Objects of a shared template
// are written once however many pages use them; objects that records added are written once
// per distinct content, so identical appearance streams and font subsets are not repeated.
//
// Writing takes two steps, so that the costly one can run on the threads that own the
// documents: encoding serialises every object a page needs (streams compressed) with its
// references left open, on the document's thread; the writer then numbers the objects in page
// order, fills the references in and writes them out. The writer touches nothing of a
// document, only the encoded bytes.

#include <qpdf/Buffer.hh>

#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <unordered_map>

#include "platform/pdf/detail/Deflate.h"
#include "platform/pdf/detail/Internal.h"
#include "platform/pdf/detail/ObjectWriter.h"

namespace qvpdf::detail {

// A reference left open in an encoded body: the writer puts "n 0 R" or "null" there.
struct OpenRef {
    enum Kind : uint8_t { Page, Local, Template };
    Kind kind = Local;
    int a = 0;  // Page: the page's index in its template; Local: the local's index; Template: object number
    int b = 0;  // Template: generation
};

struct EncodedObject {
    std::string text;                              // the body without its references
    std::vector<std::pair<size_t, OpenRef>> refs;  // where each goes in `text`, in order
};

// What the pages of one document state need. Locals are the state's own objects (changed,
// added, annotations copied per page) and template objects that lead to a page or a local;
// the other template objects are the same for every state of the template and are numbered
// once per file.
struct EncodedPart {
    std::shared_ptr<const std::string> source;              // the template's bytes
    std::vector<std::pair<const char*, std::string>> info;  // the template's title and author
    std::vector<EncodedObject> locals;
    std::vector<char> deferrable;  // per local: numbered late in deep chains, as template objects are
    // Template objects the context had not encoded for the writer before.
    std::map<std::pair<int, int>, EncodedObject> templates;
};

struct EncodedPage {
    int part = 0;
    int page = 0;  // index of the page in its template
    EncodedObject dict;
    std::vector<int> copies;  // locals written once per copy of the page (its annotations), in /Annots order
};

}  // namespace qvpdf::detail

namespace qvpdf {

struct PDFEncodedPages::Impl {
    std::vector<detail::EncodedPart> parts;
    std::vector<detail::EncodedPage> pages;
};

}  // namespace qvpdf

namespace qvpdf::detail {

namespace {

constexpr size_t kCompressAbove = 64;
// Deeper reference chains are written breadth first, without looking for duplicates.
constexpr int kMaxDepth = 200;
// What an open reference holds while its body is written; cut out afterwards.
constexpr std::string_view kPlaceholder = "0 0 R";

using ObjectKey = std::pair<int, int>;

// Encodes the pages of one state, on the thread that owns it.
class Encoder {
public:
    Encoder(const State& state, EncodedPart& part, const std::set<ObjectKey>& shipped)
        : s_(state), t_(*state.tpl), part_(part), shipped_(shipped), newLocals_(state.added.size(), -1) {}

    EncodedPage encodePage(int pageIndex, int partIndex) {
        const TemplatePage& tp = t_.pages[static_cast<size_t>(pageIndex)];
        EncodedPage out;
        out.part = partIndex;
        out.page = pageIndex;
        Value page = s_.currentDict(tp.og);
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
        const auto& refs = s_.pageAnnots[static_cast<size_t>(pageIndex)];
        if (!refs.empty()) {
            // Annotations belong to one page each: they are written per copy. A copy is named
            // by a negative index among the state's new objects.
            Value annots = Value::array();
            for (const AnnotRef& ref : refs) {
                if (ref.tpl >= 0) {
                    int copy = addLocal(true);
                    queue_.push_back(Job{Job::Current, copy, s_.tpl->annots[static_cast<size_t>(ref.tpl)].og, 0});
                    out.copies.push_back(copy);
                    annots.items().push_back(Value::newRef(-1 - copy));
                } else {
                    annots.items().push_back(Value::newRef(s_.freeTexts[static_cast<size_t>(ref.freeText)].annotObj));
                }
            }
            page.set("Annots", std::move(annots));
        }
        out.dict = encode([&](std::string& text, const RefMapper& m) { writeObjectBody(text, page, nullptr, &m); });
        drain();
        return out;
    }

    // Template objects that lead to a page or to a local are the state's own: numbered once
    // per file, they would keep what the first state had there. The rest are marked as sent.
    void finish(std::vector<EncodedPage>& pages, int partIndex, std::set<ObjectKey>& shipped) {
        std::set<ObjectKey> own;
        for (const auto& [key, object] : part_.templates)
            for (const auto& [at, ref] : object.refs)
                if (ref.kind != OpenRef::Template) own.insert(key);
        for (bool grew = !own.empty(); grew;) {
            grew = false;
            for (const auto& [key, object] : part_.templates) {
                if (own.count(key)) continue;
                for (const auto& [at, ref] : object.refs) {
                    if (ref.kind == OpenRef::Template && own.count(ObjectKey(ref.a, ref.b))) {
                        own.insert(key);
                        grew = true;
                        break;
                    }
                }
            }
        }
        std::map<ObjectKey, int> moved;
        for (const ObjectKey& key : own) {
            int local = addLocal(true);
            part_.locals[static_cast<size_t>(local)] = std::move(part_.templates[key]);
            part_.templates.erase(key);
            moved.emplace(key, local);
        }
        if (!moved.empty()) {
            auto relink = [&moved](EncodedObject& object) {
                for (auto& [at, ref] : object.refs) {
                    if (ref.kind != OpenRef::Template) continue;
                    auto found = moved.find(ObjectKey(ref.a, ref.b));
                    if (found != moved.end()) ref = OpenRef{OpenRef::Local, found->second, 0};
                }
            };
            for (EncodedObject& object : part_.locals) relink(object);
            for (auto& entry : part_.templates) relink(entry.second);
            for (EncodedPage& page : pages)
                if (page.part == partIndex) relink(page.dict);
        }
        for (const auto& entry : part_.templates) shipped.insert(entry.first);
    }

private:
    struct Job {
        enum Kind { Current, New, TemplateObject };  // Current: the state's dictionary of `og`
        Kind kind;
        int local;
        QPDFObjGen og;
        int index;  // New: index among the state's new objects
    };

    int addLocal(bool deferrable) {
        part_.locals.emplace_back();
        part_.deferrable.push_back(deferrable ? 1 : 0);
        return static_cast<int>(part_.locals.size()) - 1;
    }

    // The body `write` produces, each reference recorded where it goes and cut out.
    template <typename Write>
    EncodedObject encode(Write write) {
        EncodedObject object;
        RefMapper m;
        m.templateRef = [this, &object](QPDFObjGen og) -> std::optional<QPDFObjGen> {
            std::optional<OpenRef> ref = templateRef(og);
            if (!ref) return std::nullopt;
            object.refs.emplace_back(object.text.size(), *ref);
            return QPDFObjGen(0, 0);
        };
        m.newRef = [this, &object](int index) {
            object.refs.emplace_back(object.text.size(), newRef(index));
            return 0;
        };
        write(object.text, m);
        if (object.refs.empty()) return object;
        std::string text;
        text.reserve(object.text.size() - object.refs.size() * kPlaceholder.size());
        size_t from = 0;
        for (auto& [at, ref] : object.refs) {
            text.append(object.text, from, at - from);
            from = at + kPlaceholder.size();
            at = text.size();
        }
        text.append(object.text, from, std::string::npos);
        object.text = std::move(text);
        return object;
    }

    // Pages and the page tree are the file's own: a reference to a page stays when it is the
    // page being written (an annotation's /P), any other page or tree node is dropped.
    std::optional<OpenRef> templateRef(QPDFObjGen og) {
        auto page = t_.pageByOg.find(og);
        if (page != t_.pageByOg.end()) return OpenRef{OpenRef::Page, page->second, 0};
        if (og == t_.rootOg || t_.pageTreeNodes.count(og)) return std::nullopt;
        const ObjectKey key(og.getObj(), og.getGen());
        if (s_.replaced.count(og.getObj())) {
            auto found = replacedLocals_.find(key);
            if (found != replacedLocals_.end()) return OpenRef{OpenRef::Local, found->second, 0};
            int local = addLocal(true);
            replacedLocals_.emplace(key, local);
            queue_.push_back(Job{Job::Current, local, og, 0});
            return OpenRef{OpenRef::Local, local, 0};
        }
        if (!shipped_.count(key) && !part_.templates.count(key)) {
            part_.templates.emplace(key, EncodedObject{});
            queue_.push_back(Job{Job::TemplateObject, -1, og, 0});
        }
        return OpenRef{OpenRef::Template, key.first, key.second};
    }

    OpenRef newRef(int index) {
        if (index < 0) return OpenRef{OpenRef::Local, -1 - index, 0};
        int& local = newLocals_[static_cast<size_t>(index)];
        if (local < 0) {
            local = addLocal(false);
            queue_.push_back(Job{Job::New, local, QPDFObjGen(), index});
        }
        return OpenRef{OpenRef::Local, local, 0};
    }

    // Bodies of the objects met so far, and of those they meet in turn.
    void drain() {
        while (!queue_.empty()) {
            Job job = queue_.front();
            queue_.pop_front();
            switch (job.kind) {
            case Job::Current: {
                Value dict = s_.currentDict(job.og);
                EncodedObject object =
                    encode([&](std::string& text, const RefMapper& m) { writeObjectBody(text, dict, nullptr, &m); });
                part_.locals[static_cast<size_t>(job.local)] = std::move(object);
                break;
            }
            case Job::New: {
                const NewObject& obj = *s_.added[static_cast<size_t>(job.index)];
                EncodedObject object = encode([&](std::string& text, const RefMapper& m) {
                    if (obj.stream && obj.stream->size() > kCompressAbove && !obj.dict.find("Filter")) {
                        // A combined file holds thousands of these; compressed they take a third.
                        Value dict = obj.dict;
                        dict.set("Filter", Value::name("FlateDecode"));
                        std::string data = deflateBytes(*obj.stream);
                        writeObjectBody(text, dict, &data, &m);
                    } else {
                        writeObjectBody(text, obj.dict, obj.stream ? &*obj.stream : nullptr, &m);
                    }
                });
                part_.locals[static_cast<size_t>(job.local)] = std::move(object);
                break;
            }
            case Job::TemplateObject: {
                QPDFObjectHandle h = t_.qpdf->getObjectByObjGen(job.og);
                EncodedObject object =
                    encode([&](std::string& text, const RefMapper& m) { writeTemplateBody(text, h, m); });
                part_.templates[ObjectKey(job.og.getObj(), job.og.getGen())] = std::move(object);
                break;
            }
            }
        }
    }

    static void writeTemplateBody(std::string& body, QPDFObjectHandle h, const RefMapper& m) {
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

    const State& s_;
    const Template& t_;
    EncodedPart& part_;
    const std::set<ObjectKey>& shipped_;
    std::map<ObjectKey, int> replacedLocals_;
    std::vector<int> newLocals_;
    std::deque<Job> queue_;
};

// The template's title and author: the combined file is still the template's document.
std::vector<std::pair<const char*, std::string>> infoOf(const Template& t) {
    std::vector<std::pair<const char*, std::string>> info;
    QPDFObjectHandle dict = t.trailer.getKey("/Info");
    if (!dict.isDictionary()) return info;
    for (const char* key : {"Title", "Author"}) {
        QPDFObjectHandle item = dict.getKey(std::string("/") + key);
        if (item.isString()) info.emplace_back(key, item.getStringValue());
    }
    return info;
}

// The pages of the slots (all frozen), encoded for the writer `writer`, leaving out the
// template objects `shipped` has sent it already (pages encoded with one `shipped` are
// appended in the order they were encoded); the pages of one state share their objects.
// Throws what QPDF throws.
PDFEncodedPages::Impl encodeSlots(const std::vector<PageSlot>& slots, uint64_t writer, ShippedObjects& shipped) {
    if (shipped.writer != writer) shipped = ShippedObjects{writer, {}};
    PDFEncodedPages::Impl out;
    std::map<const State*, int> partOf;
    std::vector<std::unique_ptr<Encoder>> encoders;
    std::vector<std::set<ObjectKey>*> sent;
    for (const PageSlot& slot : slots) {
        const State& state = *slot.frozen;
        auto found = partOf.find(&state);
        if (found == partOf.end()) {
            Template& t = *state.tpl;
            if (!t.source) t.source = std::make_shared<const std::string>(t.original);
            found = partOf.emplace(&state, static_cast<int>(out.parts.size())).first;
            out.parts.emplace_back();
            out.parts.back().source = t.source;
            out.parts.back().info = infoOf(t);
            sent.push_back(&shipped.bySource[t.source]);
        }
        (void)found;
    }
    // Parts are complete in number now: encoders may keep references to them.
    for (const PageSlot& slot : slots) {
        const size_t part = static_cast<size_t>(partOf[slot.frozen.get()]);
        if (encoders.size() <= part) encoders.resize(part + 1);
        if (!encoders[part]) encoders[part] = std::make_unique<Encoder>(*slot.frozen, out.parts[part], *sent[part]);
        out.pages.push_back(encoders[part]->encodePage(slot.page, static_cast<int>(part)));
    }
    for (size_t part = 0; part < encoders.size(); ++part)
        encoders[part]->finish(out.pages, static_cast<int>(part), *sent[part]);
    return out;
}

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

uint64_t newWriterKey() {
    static std::atomic<uint64_t> last{0};
    return ++last;
}

class FreshWriter {
public:
    // Without a sink the whole file collects in memory; with one it goes out page by page.
    explicit FreshWriter(FreshSink sink = {}) : sink_(std::move(sink)) {
        out_ = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
        offsets_.assign(3, 0);
    }

    uint64_t key() const { return key_; }

    // Every page of `pages`, numbered before any is written.
    std::string write(const PDFEncodedPages::Impl& pages) {
        if (!pages.pages.empty()) noteInfo(pages);
        std::vector<Replay> replays = replaysFor(pages);
        std::vector<int> ids;
        for (size_t i = 0; i < pages.pages.size(); ++i) ids.push_back(allocate());
        pageIds_.insert(pageIds_.end(), ids.begin(), ids.end());
        for (size_t i = 0; i < pages.pages.size(); ++i) {
            writePage(replays, pages.pages[i], ids[i]);
            drain();
        }
        writeTail();
        return std::move(out_);
    }

    // Streaming: more pages, written out with every object they need that is not out yet.
    // False when writing failed or an object is missing (pages appended out of order).
    bool add(const PDFEncodedPages::Impl& pages) {
        if (!pages.pages.empty()) noteInfo(pages);
        std::vector<Replay> replays = replaysFor(pages);
        for (const EncodedPage& page : pages.pages) {
            pageIds_.push_back(allocate());
            writePage(replays, page, pageIds_.back());
            drain();
            if (missing_) return false;
            // Small pieces are gathered first: a write per page would cost more than the page.
            // Object places beyond what Offsets holds end the file rather than corrupt it.
            if (!((out_.size() < kFlushAbove || flush()) && position() < kMostBytes)) return false;
        }
        return true;
    }
    bool end() {
        writeTail();
        return position() < kMostBytes && flush();
    }
    size_t pageCount() const { return pageIds_.size(); }
    bool missing() const { return missing_; }

private:
    static constexpr size_t kFlushAbove = 1 << 20;
    static constexpr uint64_t kMostBytes = uint64_t{1} << 40;

    // One part's locals as numbered here: -1 not yet, 0 while its body is written.
    struct Replay {
        const EncodedPart* part;
        int source;
        std::vector<int> ids;
    };
    struct Context {
        Replay* replay;
        int page;    // page index within the template
        int pageId;  // its object number here
    };
    struct Pending {
        Context ctx;
        OpenRef ref;
        int id;
    };
    struct TemplateKey {
        int source, num, gen;
        bool operator<(const TemplateKey& o) const {
            if (source != o.source) return source < o.source;
            return num != o.num ? num < o.num : gen < o.gen;
        }
    };

    std::vector<Replay> replaysFor(const PDFEncodedPages::Impl& pages) {
        std::vector<Replay> replays;
        for (const EncodedPart& part : pages.parts)
            replays.push_back(Replay{&part, sourceIndex(part.source), std::vector<int>(part.locals.size(), -1)});
        return replays;
    }

    // Templates with the same bytes have the same objects, whichever thread parsed them.
    int sourceIndex(const std::shared_ptr<const std::string>& source) {
        auto known = sourceIndex_.find(source.get());
        if (known != sourceIndex_.end()) return known->second;
        int index = static_cast<int>(sources_.size());
        for (size_t i = 0; i < sources_.size(); ++i) {
            if (*sources_[i] == *source) {
                index = static_cast<int>(i);
                break;
            }
        }
        if (index == static_cast<int>(sources_.size())) sources_.push_back(source);
        // Held, so that no other string takes its address.
        seen_.push_back(source);
        sourceIndex_.emplace(source.get(), index);
        return index;
    }

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

    int allocate() {
        offsets_.push_back(0);
        return static_cast<int>(offsets_.size()) - 1;
    }

    // The body of an encoded object with its references numbered; those it meets first are
    // written before it.
    std::string bodyOf(const Context& ctx, const EncodedObject& object) {
        std::string body;
        body.reserve(object.text.size() + object.refs.size() * 8);
        size_t from = 0;
        for (const auto& [at, ref] : object.refs) {
            body.append(object.text, from, at - from);
            from = at;
            int id = resolve(ctx, ref);
            if (id <= 0) {
                body += "null";
            } else {
                appendInt(body, id);
                body += " 0 R";
            }
        }
        body.append(object.text, from, std::string::npos);
        return body;
    }

    const EncodedObject* objectOf(const Context& ctx, const OpenRef& ref) {
        if (ref.kind == OpenRef::Local) return &ctx.replay->part->locals[static_cast<size_t>(ref.a)];
        const auto& templates = ctx.replay->part->templates;
        auto found = templates.find(ObjectKey(ref.a, ref.b));
        if (found != templates.end()) return &found->second;
        missing_ = true;
        return nullptr;
    }

    // The number of a referenced object, writing it first when it is not out yet; 0 for null.
    int resolve(const Context& ctx, const OpenRef& ref) {
        if (ref.kind == OpenRef::Page) return ref.a == ctx.page ? ctx.pageId : 0;
        int* slot = nullptr;
        bool deferrable = true;
        if (ref.kind == OpenRef::Template) {
            TemplateKey key{ctx.replay->source, ref.a, ref.b};
            auto found = ids_.find(key);
            if (found != ids_.end()) {
                if (found->second == 0) found->second = allocate();  // a cycle: number it now
                return found->second;
            }
            slot = &ids_.emplace(key, -1).first->second;
        } else {
            slot = &ctx.replay->ids[static_cast<size_t>(ref.a)];
            if (*slot == 0) *slot = allocate();  // a cycle: number it now
            if (*slot > 0) return *slot;
            deferrable = ctx.replay->part->deferrable[static_cast<size_t>(ref.a)] != 0;
        }
        const EncodedObject* object = objectOf(ctx, ref);
        if (!object) {
            *slot = 0;
            return 0;
        }
        if (deferrable && depth_ >= kMaxDepth) {
            *slot = allocate();
            pending_.push_back(Pending{ctx, ref, *slot});
            return *slot;
        }
        *slot = 0;
        if (deferrable) ++depth_;
        std::string body = bodyOf(ctx, *object);
        if (deferrable) --depth_;
        // The slot stays where it is: ids_ is a map, a part's ids do not grow.
        return finish(*slot, body);
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

    void emit(int id, const std::string& body, std::vector<std::tuple<size_t, size_t, int>>* candidates) {
        offsets_.set(static_cast<size_t>(id), position());
        appendInt(out_, id);
        out_ += " 0 obj\n";
        if (candidates) candidates->emplace_back(position(), body.size(), id);
        out_ += body;
    }

    void writePage(std::vector<Replay>& replays, const EncodedPage& page, int pageId) {
        Context ctx{&replays[static_cast<size_t>(page.part)], page.page, pageId};
        for (int copy : page.copies) {
            int id = allocate();
            ctx.replay->ids[static_cast<size_t>(copy)] = id;
            pending_.push_back(Pending{ctx, OpenRef{OpenRef::Local, copy, 0}, id});
        }
        // New objects it refers to are written while it is serialised, so it goes out after.
        std::string body = bodyOf(ctx, page.dict);
        emit(pageId, body, nullptr);
    }

    void drain() {
        while (!pending_.empty()) {
            Pending p = pending_.front();
            pending_.pop_front();
            const EncodedObject* object = objectOf(p.ctx, p.ref);
            std::string body = object ? bodyOf(p.ctx, *object) : std::string("null\nendobj\n");
            emit(p.id, body, nullptr);
        }
    }

    // The combined file keeps the title and author of the first page's template.
    void noteInfo(const PDFEncodedPages::Impl& pages) {
        if (infoNoted_) return;
        infoNoted_ = true;
        info_ = pages.parts[static_cast<size_t>(pages.pages.front().part)].info;
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

    const uint64_t key_ = newWriterKey();
    FreshSink sink_;
    bool infoNoted_ = false;
    bool missing_ = false;
    std::vector<std::pair<const char*, std::string>> info_;
    size_t flushed_ = 0;  // bytes the sink has taken
    size_t streamHash_ = 14695981039346656037u;
    std::vector<int> pageIds_;
    std::string out_;
    Offsets offsets_;
    std::deque<Pending> pending_;
    std::map<TemplateKey, int> ids_;  // template objects: -1 not yet, 0 while written
    int depth_ = 0;
    std::vector<std::shared_ptr<const std::string>> sources_;  // distinct template bytes
    std::vector<std::shared_ptr<const std::string>> seen_;
    std::map<const std::string*, int> sourceIndex_;
    std::unordered_map<size_t, std::vector<std::tuple<size_t, size_t, int>>> bodies_;
};

}  // namespace

std::optional<std::string> writeFresh(const std::vector<PageSlot>& slots) {
    for (const PageSlot& slot : slots)
        if (!slot.frozen) return std::nullopt;
    FreshWriter writer;
    ShippedObjects shipped;
    PDFEncodedPages::Impl pages = encodeSlots(slots, writer.key(), shipped);
    std::string bytes = writer.write(pages);
    if (writer.missing()) return std::nullopt;
    return bytes;
}

}  // namespace qvpdf::detail

namespace qvpdf {

using namespace detail;

PDFEncodedPages::PDFEncodedPages(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PDFEncodedPages::PDFEncodedPages(PDFEncodedPages&&) noexcept = default;
PDFEncodedPages& PDFEncodedPages::operator=(PDFEncodedPages&&) noexcept = default;
PDFEncodedPages::~PDFEncodedPages() = default;

size_t PDFEncodedPages::pageCount() const { return impl_ ? impl_->pages.size() : 0; }

struct PDFPageWriter::Impl {
    explicit Impl(FreshSink sink) : writer(std::move(sink)) {}
    FreshWriter writer;
    bool failed = false;
};

PDFPageWriter::PDFPageWriter(Write write, ReadBack readBack)
    : impl_(std::make_unique<Impl>(FreshSink{std::move(write), std::move(readBack)})) {}

PDFPageWriter::~PDFPageWriter() = default;

std::optional<PDFEncodedPages> PDFPageWriter::encodePages(PDFDocument& document) const {
    try {
        DocumentImpl& d = *document.impl_;
        std::vector<PageSlot> slots;
        for (const PageSlot& slot : d.slots) {
            std::shared_ptr<const State> frozen = slot.frozen;
            if (!frozen) {
                if (!d.state || !prepareForWrite(d, false)) return std::nullopt;
                frozen = d.freeze();
            }
            // An encrypted file is encrypted as a whole, which a stream cannot be.
            if (frozen->tpl->encryption) return std::nullopt;
            slots.push_back(PageSlot{frozen, slot.page});
        }
        // Without a context, nothing is left out: the writer takes a body it has already as
        // the one it has.
        std::shared_ptr<ContextImpl> context = d.context.lock();
        ShippedObjects alone;
        ShippedObjects& shipped = context ? context->shipped : alone;
        auto impl = std::make_unique<PDFEncodedPages::Impl>(encodeSlots(slots, impl_->writer.key(), shipped));
        return PDFEncodedPages(std::move(impl));
    } catch (...) {
        return std::nullopt;
    }
}

bool PDFPageWriter::appendEncoded(const PDFEncodedPages& pages) {
    if (impl_->failed || !pages.impl_) return false;
    try {
        if (!impl_->writer.add(*pages.impl_)) {
            impl_->failed = true;
            return false;
        }
        return true;
    } catch (...) {
        impl_->failed = true;
        return false;
    }
}

bool PDFPageWriter::appendPages(PDFDocument& document) {
    if (impl_->failed) return false;
    std::optional<PDFEncodedPages> pages = encodePages(document);
    return pages && appendEncoded(*pages);
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
