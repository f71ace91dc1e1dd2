// PDF contexts: who keeps the parsed templates, the outputs made and the objects encoded for a
// writer, and for how long.

#include <gtest/gtest.h>

#include <thread>

#include "DocumentFixtures.h"

using namespace qvpdf;
using namespace qvtest;

namespace {

// What a merge makes of one record: its separate file and its flattened pages, reopened
// (through the same context) and encoded for `writer`.
struct Record {
    std::string separate;
    std::optional<PDFEncodedPages> pages;
};

Record makeRecord(const std::string& form, PDFContext& context, const PDFPageWriter& writer, int r) {
    Record out;
    auto doc = PDFDocument::initWithData(form, context);
    if (!doc) return out;
    for (const auto& widget : doc->pageAtIndex(0)->annotations())
        if (!widget->setWidgetStringValue(widget->fieldName() + " " + std::to_string(r))) return out;
    out.separate = doc->dataRepresentation().value_or("");
    PDFWriteOptions burn;
    burn.burnInAnnotations = true;
    std::optional<std::string> flat = doc->dataRepresentationWithOptions(burn);
    auto reopened = flat ? PDFDocument::initWithData(*flat, context) : nullptr;
    if (reopened) out.pages = writer.encodePages(*reopened);
    return out;
}

// Separate files and the combined file of `records` records, each thread with a context of its
// own taking every `threads`-th record.
std::pair<std::vector<std::string>, std::string> merge(const std::string& form, int records, int threads) {
    std::string combined;
    PDFPageWriter writer(
        [&combined](std::string_view bytes) {
            combined.append(bytes);
            return true;
        },
        [&combined](uint64_t offset, size_t length, char* into) {
            if (offset + length > combined.size()) return false;
            combined.copy(into, length, offset);
            return true;
        });
    std::vector<Record> made(static_cast<size_t>(records));
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            PDFContext context;
            for (int r = t; r < records; r += threads)
                made[static_cast<size_t>(r)] = makeRecord(form, context, writer, r);
        });
    }
    for (std::thread& worker : workers) worker.join();
    std::vector<std::string> separate;
    for (Record& record : made) {
        separate.push_back(record.separate);
        if (!record.pages || !writer.appendEncoded(*record.pages)) return {};
    }
    if (!writer.finish()) return {};
    return {separate, combined};
}

}  // namespace

// Records built on two threads, each with its own context, at once: every byte is what one
// context on one thread makes, the combined file too (each context leaves out the template
// objects it sent before, which the other did not see).
TEST(PDFContext, TwoContextsOnTwoThreadsMakeTheBytesOfOne) {
    const std::string form = qvfixture::textForm({"naam", "plaats"});
    const auto [separateAlone, combinedAlone] = merge(form, 12, 1);
    ASSERT_EQ(separateAlone.size(), 12u);
    ASSERT_FALSE(combinedAlone.empty());
    EXPECT_TRUE(qpdfCheckClean(combinedAlone));
    EXPECT_NE(separateAlone[0], separateAlone[1]);

    const auto [separateTwo, combinedTwo] = merge(form, 12, 2);
    EXPECT_EQ(separateTwo, separateAlone);
    EXPECT_EQ(combinedTwo, combinedAlone);
}

// A context parses a template once however often it is opened, and knows its own outputs;
// another context knows nothing of them, and a document outlives its context unchanged.
TEST(PDFContext, CachesBelongToTheirContextAndEndWithIt) {
    const std::string form = qvfixture::textForm({"naam"});
    PDFContext first;
    auto a = PDFDocument::initWithData(form, first);
    auto b = PDFDocument::initWithData(form, first);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(first.templatesParsed(), 1u);
    ASSERT_TRUE(a->pageAtIndex(0)->annotations()[0]->setWidgetStringValue("Jansen"));
    const std::optional<std::string> written = a->dataRepresentation();
    ASSERT_TRUE(written);
    PDFWriteOptions burn;
    burn.burnInAnnotations = true;
    const std::optional<std::string> flat = a->dataRepresentationWithOptions(burn);
    ASSERT_TRUE(flat);
    ASSERT_TRUE(PDFDocument::initWithData(*flat, first));
    EXPECT_EQ(first.templatesParsed(), 1u) << "its own flattened output is not parsed again";

    std::string again;
    {
        auto second = std::make_unique<PDFContext>();
        auto c = PDFDocument::initWithData(form, *second);
        ASSERT_TRUE(c);
        EXPECT_EQ(second->templatesParsed(), 1u) << "a new context parses anew";
        ASSERT_TRUE(PDFDocument::initWithData(*flat, *second));
        EXPECT_EQ(second->templatesParsed(), 2u) << "another context's output is news to it";
        second.reset();
        ASSERT_TRUE(c->pageAtIndex(0)->annotations()[0]->setWidgetStringValue("Jansen"));
        again = c->dataRepresentation().value_or("");
    }
    EXPECT_EQ(again, *written);
    EXPECT_EQ(first.templatesParsed(), 1u);
}
