#pragma once
// Templates encrypted with the empty user password. Documents work on a decrypted copy of the
// template; what they write is encrypted afterwards exactly as the template was (method,
// permissions, passwords and the permanent file identifier), so readers treat the output as
// they treat the template.

#include <qpdf/QPDF.hh>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvpdf::detail {

struct PageSlot;

struct TemplateEncryption {
    std::unique_ptr<QPDF> source;  // the template as parsed, still encrypted
    std::string fingerprint;       // equal for files encrypted the same way
    std::mutex mutex;              // documents of several threads encrypt from one source
};

// The encryption of a parsed, encrypted file; it keeps the parsed file (and so needs the bytes
// it was parsed from for as long as it lives).
[[nodiscard]] std::shared_ptr<TemplateEncryption> describeEncryption(std::unique_ptr<QPDF> source);

// True for a file without encryption, or one whose permissions allow filling in form fields
// or changing annotations.
bool permitsFormFilling(QPDF& q);

// The plain PDF bytes encrypted as the template was; throws on unreadable bytes.
std::string encryptLike(TemplateEncryption& encryption, const std::string& plain);

// The encryption the pages of a combined file share: null when none of them is encrypted.
// False when they do not share one (encrypted and plain pages, or different encryptions).
[[nodiscard]] bool sharedEncryption(const std::vector<PageSlot>& slots, std::shared_ptr<TemplateEncryption>* out);

// True when QPDF refuses the bytes because the empty password does not open them.
bool bytesNeedPassword(std::string_view bytes);

}  // namespace qvpdf::detail
