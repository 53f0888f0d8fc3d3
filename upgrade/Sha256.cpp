#include "upgrade/Sha256.h"

#include "framework/AfxApp.h"
#include "framework/AfxCng.h"

namespace {
const char* const kFunctionNames[] = {"BCryptOpenAlgorithmProvider", "BCryptCreateHash",
                                      "BCryptHashData", "BCryptFinishHash"};

// What Add and Finish say when no digest is under way.
Result NoDigest() {
    return Failed(kAfxCngLibrary, ERROR_INVALID_HANDLE);
}
} // namespace

Result Sha256::Start() {
    m_hash.Reset();
    if (!m_algorithm) {
        if (Result loaded = AfxLoadSystemFunctions(kAfxCngLibrary, kFunctionNames, &m_cng); !loaded)
            return loaded;
        BCRYPT_ALG_HANDLE algorithm = nullptr;
        if (Result opened = AfxCngResult(
                m_cng.openAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0));
            !opened)
            return opened;
        m_algorithm.Reset(algorithm);
    }
    // CNG keeps the hash object's memory itself (no buffer given), as it does from Windows 7 on.
    BCRYPT_HASH_HANDLE hash = nullptr;
    Result created =
        AfxCngResult(m_cng.createHash(m_algorithm.Get(), &hash, nullptr, 0, nullptr, 0, 0));
    if (created)
        m_hash.Reset(hash);
    return created;
}

Result Sha256::Add(const void* data, unsigned long size) {
    if (!m_hash)
        return NoDigest();
    // CNG takes the bytes through a pointer to non-const; it only reads them.
    PUCHAR bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    Result added = AfxCngResult(m_cng.hashData(m_hash.Get(), bytes, size, 0));
    if (!added)
        m_hash.Reset();
    return added;
}

Result Sha256::Finish(unsigned char digest[32]) {
    if (!m_hash)
        return NoDigest();
    Result finished = AfxCngResult(m_cng.finishHash(m_hash.Get(), digest, 32, 0));
    m_hash.Reset();
    return finished;
}
