#include "file_hashes.h"

#include "fs_util.h"
#include "run.h"
#include "xxh128.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <openssl/evp.h>
#include <unistd.h>
#include <xxhash.h>

namespace oakvane {

namespace {

class Hasher {
public:
    virtual ~Hasher() = default;
    virtual void update(const char* data, std::size_t n) = 0;
    virtual std::string hex() = 0;
};

class Xxh128Hasher : public Hasher {
public:
    void update(const char* data, std::size_t n) override { m_hash.update(data, n); }
    std::string hex() override { return m_hash.hex(); }

private:
    Xxh128 m_hash;
};

std::string hex64(XXH64_hash_t value)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

class Xxh64Hasher : public Hasher {
public:
    Xxh64Hasher() : m_state(XXH64_createState(), XXH64_freeState)
    {
        if (!m_state || XXH64_reset(m_state.get(), 0) != XXH_OK)
            throw std::bad_alloc();
    }
    void update(const char* data, std::size_t n) override { XXH64_update(m_state.get(), data, n); }
    std::string hex() override { return hex64(XXH64_digest(m_state.get())); }

private:
    std::unique_ptr<XXH64_state_t, XXH_errorcode (*)(XXH64_state_t*)> m_state;
};

class Xxh3Hasher : public Hasher {
public:
    Xxh3Hasher() : m_state(XXH3_createState(), XXH3_freeState)
    {
        if (!m_state || XXH3_64bits_reset(m_state.get()) != XXH_OK)
            throw std::bad_alloc();
    }
    void update(const char* data, std::size_t n) override { XXH3_64bits_update(m_state.get(), data, n); }
    std::string hex() override { return hex64(XXH3_64bits_digest(m_state.get())); }

private:
    std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t*)> m_state;
};

class DigestHasher : public Hasher {
public:
    explicit DigestHasher(const EVP_MD* md) : m_ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free)
    {
        if (!m_ctx || EVP_DigestInit_ex(m_ctx.get(), md, nullptr) != 1)
            throw std::bad_alloc();
    }
    void update(const char* data, std::size_t n) override { EVP_DigestUpdate(m_ctx.get(), data, n); }
    std::string hex() override
    {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        EVP_DigestFinal_ex(m_ctx.get(), digest, &size);
        std::string text;
        for (unsigned int i = 0; i < size; ++i) {
            char byte[3];
            std::snprintf(byte, sizeof byte, "%02x", digest[i]);
            text += byte;
        }
        return text;
    }

private:
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> m_ctx;
};

std::unique_ptr<Hasher> hasher_for(std::string_view type)
{
    if (type == "xxh128")
        return std::make_unique<Xxh128Hasher>();
    if (type == "xxh64")
        return std::make_unique<Xxh64Hasher>();
    if (type == "xxh3")
        return std::make_unique<Xxh3Hasher>();
    if (type == "md5")
        return std::make_unique<DigestHasher>(EVP_md5());
    if (type == "sha1")
        return std::make_unique<DigestHasher>(EVP_sha1());
    return nullptr;
}

}  // namespace

bool can_hash(std::string_view type)
{
    return type == "xxh128" || type == "xxh64" || type == "xxh3" || type == "md5" || type == "sha1";
}

FileHash hash_file(const std::string& path, std::string_view type, std::vector<char>& buffer,
                   const std::function<bool()>& give_up)
{
    FileHash result;
    std::unique_ptr<Hasher> hasher = hasher_for(type);
    if (!hasher) {
        result.err = ENOTSUP;
        return result;
    }
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOATIME));
    if (!fd && errno == EPERM)  // O_NOATIME is for the file's owner only
        fd.reset(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
        result.err = errno;
        return result;
    }
    // Clean pages only are let go; what is read then comes from the disk.
    (void)::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);
    (void)::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    if (buffer.size() < kCopyBufferSize)
        buffer.resize(kCopyBufferSize);
    for (;;) {
        if (give_up && give_up()) {
            result.stopped = true;
            return result;
        }
        const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result.err = errno;
            return result;
        }
        if (n == 0)
            break;
        hasher->update(buffer.data(), static_cast<std::size_t>(n));
    }
    result.hex = hasher->hex();
    return result;
}

}  // namespace oakvane
