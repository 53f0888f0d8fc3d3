// SHA-256 by the platform's own implementation (CNG). Every step says whether it succeeded, and a
// failure names bcrypt.dll; a step that fails ends the digest, so that nothing after it can pass
// for a digest of the data.
#pragma once

#include "framework/AfxFile.h"
#include "framework/Handles.h"

class Sha256 {
public:
    // Begins a new digest, dropping any unfinished one.
    Result Start();
    // Adds `size` bytes at `data` to the digest begun by Start.
    Result Add(const void* data, unsigned long size);
    // Writes the digest of all the bytes added since Start; a new digest needs Start again.
    Result Finish(unsigned char digest[32]);

private:
    // bcrypt.dll's functions this uses, in the order of their names.
    struct Functions {
        decltype(&::BCryptOpenAlgorithmProvider) openAlgorithmProvider;
        decltype(&::BCryptCreateHash) createHash;
        decltype(&::BCryptHashData) hashData;
        decltype(&::BCryptFinishHash) finishHash;
    };

    Functions m_cng = {};
    CngAlgorithm m_algorithm; // opened once, for all the digests of this object
    CngHash m_hash;           // the digest under way; empty when none is
};
