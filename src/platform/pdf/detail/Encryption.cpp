#include "platform/pdf/detail/Encryption.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFWriter.hh>

#include "platform/pdf/detail/Internal.h"
#include "platform/pdf/detail/QpdfSupport.h"

namespace qvpdf::detail {

namespace {

// What decides how a file is encrypted and with which passwords. The crypt filter method is
// left out: it does not change the key, and QPDF writes AES for any V4 file.
std::string fingerprintOf(QPDF& q) {
    QPDFObjectHandle trailer = q.getTrailer();
    QPDFObjectHandle encrypt = trailer.getKey("/Encrypt");
    std::string out;
    for (const char* key :
         {"/Filter", "/V", "/R", "/Length", "/P", "/O", "/U", "/OE", "/UE", "/Perms", "/EncryptMetadata"}) {
        out += key;
        out += ' ';
        if (encrypt.isDictionary()) out += encrypt.getKey(key).unparseResolved();
        out += '\n';
    }
    QPDFObjectHandle id = trailer.getKey("/ID");
    out += "/ID ";
    if (id.isArray() && id.getArrayNItems() > 0) out += id.getArrayItem(0).unparseResolved();
    return out;
}

}  // namespace

std::shared_ptr<TemplateEncryption> describeEncryption(std::unique_ptr<QPDF> source) {
    auto e = std::make_shared<TemplateEncryption>();
    e->fingerprint = fingerprintOf(*source);
    e->source = std::move(source);
    return e;
}

bool permitsFormFilling(QPDF& q) { return !q.isEncrypted() || q.allowModifyForm() || q.allowModifyAnnotation(); }

std::string encryptLike(TemplateEncryption& encryption, const std::string& plain) {
    QPDF q;
    quietQpdf(q);
    q.processMemoryFile("output", plain.data(), plain.size());
    QPDFWriter w(q);
    w.setOutputMemory();
    w.setLinearization(false);
    // Our writers compressed what is worth it; the streams only get encrypted.
    w.setStreamDataMode(qpdf_s_preserve);
    // The same record gives the same bytes (runs in parallel or in shards compare equal). A
    // fixed second identifier and AES IV give nothing away here: the user password is empty,
    // so anyone holds the key anyway. The IV switch is process-wide: set once, before any
    // thread encrypts.
    w.setStaticID(true);
    static std::once_flag staticIV;
    std::call_once(staticIV, [&w] { w.setStaticAesIV(true); });
    {
        std::lock_guard<std::mutex> lock(encryption.mutex);
        w.copyEncryptionParameters(*encryption.source);
    }
    w.write();
    auto buffer = w.getBufferSharedPointer();
    return std::string(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
}

bool sharedEncryption(const std::vector<PageSlot>& slots, std::shared_ptr<TemplateEncryption>* out) {
    out->reset();
    bool plain = false;
    for (const PageSlot& slot : slots) {
        const std::shared_ptr<TemplateEncryption>& e = slot.frozen->tpl->encryption;
        if (!e) {
            plain = true;
        } else if (!*out) {
            *out = e;
        } else if (*out != e && (*out)->fingerprint != e->fingerprint) {
            return false;
        }
    }
    return !(plain && *out);
}

bool bytesNeedPassword(std::string_view bytes) {
    try {
        QPDF q;
        quietQpdf(q);
        q.processMemoryFile("document", bytes.data(), bytes.size());
        return false;
    } catch (const QPDFExc& e) {
        return e.getErrorCode() == qpdf_e_password;
    } catch (...) {
        return false;
    }
}

}  // namespace qvpdf::detail
