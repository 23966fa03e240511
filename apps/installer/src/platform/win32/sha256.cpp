#include "platform/sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>

namespace zarn::platform {

struct Sha256::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool usable = false;

    State() {
        usable = BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
                 BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
    }
    ~State() {
        if (hash != nullptr) ::BCryptDestroyHash(hash);
        if (algorithm != nullptr) ::BCryptCloseAlgorithmProvider(algorithm, 0);
    }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}
Sha256::~Sha256() = default;

void Sha256::update(const char* bytes, std::size_t size) {
    while (state_->usable && size > 0) {
        const ULONG slice = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
        auto* data = reinterpret_cast<PUCHAR>(const_cast<char*>(bytes));
        state_->usable = BCRYPT_SUCCESS(::BCryptHashData(state_->hash, data, slice, 0));
        bytes += slice;
        size -= slice;
    }
}

std::string Sha256::finish_hex() {
    UCHAR digest[32];
    if (!state_->usable || !BCRYPT_SUCCESS(::BCryptFinishHash(state_->hash, digest, sizeof digest, 0))) return {};
    state_->usable = false;
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const UCHAR byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

}  // namespace zarn::platform
