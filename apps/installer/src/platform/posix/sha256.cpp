#include "platform/sha256.h"

#include <openssl/evp.h>

namespace zarn::platform {

struct Sha256::State {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    bool usable = context != nullptr && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) == 1;
    ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}
Sha256::~Sha256() = default;

void Sha256::update(const char* bytes, std::size_t size) {
    if (state_->usable && size > 0) state_->usable = EVP_DigestUpdate(state_->context, bytes, size) == 1;
}

std::string Sha256::finish_hex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!state_->usable || EVP_DigestFinal_ex(state_->context, digest, &length) != 1) return {};
    state_->usable = false;
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 0x0F];
    }
    return hex;
}

}  // namespace zarn::platform
