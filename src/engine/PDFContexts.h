#pragma once
// The PDF contexts of one merge. Private to the engine.

#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/pdf/Document.h"

// One PDF context for each thread that opens documents for the merge (its worker threads and
// the caller's), made when the thread first asks and ended with the merge: no parsed template
// is shared between threads or outlives the merge. A thread finds its own by its id, so the
// scheduling of the records needs to know nothing of PDF contexts; a thread of the merge
// asks once per record, which costs a lock beside the record's own work.
class QVPDFContexts {
public:
    qvpdf::PDFContext& ofThisThread() {
        std::lock_guard<std::mutex> hold(lock_);
        std::unique_ptr<qvpdf::PDFContext>& context = contexts_[std::this_thread::get_id()];
        if (!context) context = std::make_unique<qvpdf::PDFContext>();
        return *context;
    }

private:
    std::mutex lock_;
    std::map<std::thread::id, std::unique_ptr<qvpdf::PDFContext>> contexts_;
};
