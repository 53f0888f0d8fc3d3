#include "upgrade/Sha256.h"

#include "framework/AfxCng.h"

bool Sha256::Start() {
    m_hash.Reset();
    const CngFunctions* cng = AfxCng();
    if (!cng)
        return false;
    if (!m_algorithm) {
        BCRYPT_ALG_HANDLE algorithm = nullptr;
        if (!BCRYPT_SUCCESS(
                cng->openAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
            return false;
        m_algorithm.Reset(algorithm);
    }
    // CNG keeps the hash object's memory itself (no buffer given), as it does from Windows 7 on.
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!BCRYPT_SUCCESS(cng->createHash(m_algorithm.Get(), &hash, nullptr, 0, nullptr, 0, 0)))
        return false;
    m_hash.Reset(hash);
    return true;
}

bool Sha256::Add(const void* data, unsigned long size) {
    if (!m_hash)
        return false;
    // CNG takes the bytes through a pointer to non-const; it only reads them.
    PUCHAR bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    if (BCRYPT_SUCCESS(AfxCng()->hashData(m_hash.Get(), bytes, size, 0)))
        return true;
    m_hash.Reset();
    return false;
}

bool Sha256::Finish(unsigned char digest[32]) {
    if (!m_hash)
        return false;
    bool finished = BCRYPT_SUCCESS(AfxCng()->finishHash(m_hash.Get(), digest, 32, 0));
    m_hash.Reset();
    return finished;
}
