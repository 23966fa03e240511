#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace zarn::platform {

// A running SHA-256 digest, fed slice by slice.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void update(const char* bytes, std::size_t size);
    // The digest of everything fed so far as 64 lower-case hexadecimal digits. Ends the
    // digest. Empty when the system could not compute it, which matches no expected digest.
    std::string finish_hex();

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace zarn::platform
